// Name checks, directory creation and atomic publication of object files below the run directory.
#include "devices/platform/posix/RunDirFiles.h"

#include "devices/platform/posix/ErrnoResult.h"
#include "devices/platform/posix/UniqueFd.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace Vdapi {

namespace {

constexpr mode_t kObjectFileMode = 0660;
// Owner and group only, whatever the caller's umask: the run directory carries the driver and
// service endpoints, which no other local user may reach.
constexpr mode_t kDirectoryMode = 0770;

/// Removes a temporary file unless disarmed.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

private:
    std::string path_;
};

} // namespace

VdResult CheckObjectName(const char* name, size_t maxLength)
{
    if (name == nullptr)
        return VDAPI_E_INVALID_ARG;
    const size_t length = ::strnlen(name, maxLength + 1);
    // Every object is one file, so a name also has to fit the file system's name limit.
    if (length > maxLength || length > NAME_MAX)
        return VDAPI_E_BUF_TOO_SMALL;
    if (length == 0 || std::strchr(name, '/') != nullptr || std::strcmp(name, ".") == 0 ||
        std::strcmp(name, "..") == 0)
        return VDAPI_E_INVALID_ARG;
    return VDAPI_OK;
}

VdResult EnsureDirectory(const std::string& path)
{
    if (path.empty())
        return VDAPI_E_INVALID_ARG;
    // Create each prefix ending before a '/', then the whole path.
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        const std::string prefix = path.substr(0, pos);
        if (::mkdir(prefix.c_str(), kDirectoryMode) == 0) {
            // mkdir's mode passes through the umask; set the intended one on what we created.
            if (::chmod(prefix.c_str(), kDirectoryMode) != 0)
                return ResultFromErrno(errno, VDAPI_E_INTERNAL, "chmod");
        } else if (errno != EEXIST) {
            return ResultFromErrno(errno, VDAPI_E_INTERNAL, "mkdir");
        }
        if (pos == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "stat");
    return S_ISDIR(st.st_mode) ? VDAPI_OK : VDAPI_E_NOT_FOUND;
}

VdResult PublishObjectFile(const std::string& path, size_t size, const std::function<bool(void*)>& init,
                           bool& existed)
{
    existed = false;
    if (size == 0)
        return VDAPI_E_INVALID_ARG;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return VDAPI_E_INVALID_ARG;
    const std::string folder = path.substr(0, slash);
    if (VdResult r = EnsureDirectory(folder); !isSuccess(r))
        return r;

    std::string pattern = folder + "/.creating-XXXXXX";
    std::vector<char> templ(pattern.begin(), pattern.end());
    templ.push_back('\0');
    UniqueFd fd(::mkostemp(templ.data(), O_CLOEXEC));
    if (!fd)
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "mkostemp");
    TemporaryFile temporary(templ.data());
    if (::fchmod(fd.get(), kObjectFileMode) != 0 || ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0)
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "ftruncate");
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (address == MAP_FAILED)
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "mmap");
    {
        UniqueMapping mapping(address, size);
        if (!init(mapping.get()))
            return VDAPI_E_OUT_OF_RESOURCES;
    }
    if (::link(templ.data(), path.c_str()) != 0) {
        if (errno == EEXIST) {
            existed = true;
            return VDAPI_OK;
        }
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "link");
    }
    return VDAPI_OK;
}

VdResult RemoveObjectFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return ResultFromErrno(errno, VDAPI_E_INTERNAL, "unlink");
    return VDAPI_OK;
}

} // namespace Vdapi
