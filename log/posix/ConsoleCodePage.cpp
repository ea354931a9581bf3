// POSIX only. Console text: UTF-8 when the environment's locale says so, otherwise ASCII.
#include "log/ConsoleLogger.h"

#include <langinfo.h>
#include <locale.h>
#include <strings.h>

namespace kel::console {

namespace {

bool codesetIsUtf8(const char* codeset)
{
    return codeset != nullptr && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
}

}  // namespace

bool usesUtf8()
{
    // Asks the environment's locale without changing the process locale (which stays "C").
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return false;
    const bool utf8 = codesetIsUtf8(nl_langinfo_l(CODESET, locale));
    freelocale(locale);
    return utf8;
}

std::string toNarrow(std::string_view utf8Line) { return replaceNonAscii(utf8Line); }

}  // namespace kel::console
