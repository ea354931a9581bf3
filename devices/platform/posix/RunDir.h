// Where the POSIX platform finds the stand-ins for Windows objects: everything lives below one
// run directory, $VDAPI_RUN_DIR (default /run/vdapi).
//
//   drivers/<class GUID>/<index>   kernel-driver device interface <index> of a class (socket)
//   drivers/Vda1xx-<N>             legacy driver name (socket)
//   pipe/<name>                    named pipe (socket)
//   mutex/<name>                   named mutex: a mapped file holding a robust, process-shared
//                                  pthread_mutex_t at offset 0 (see NamedMutexFile)
//   shm/<name>                     file mapping ("Global\" section), mmap'ed
#pragma once

#include <pthread.h>

#include <cstdlib>
#include <string>

namespace Vdapi::RunDir {

inline std::string root()
{
    const char* env = std::getenv("VDAPI_RUN_DIR");
    return (env && *env) ? std::string(env) : std::string("/run/vdapi");
}

inline std::string driverInterface(const std::string& classGuid, unsigned index)
{
    return root() + "/drivers/" + classGuid + "/" + std::to_string(index);
}
inline std::string legacyDriver(const std::string& name) { return root() + "/drivers/" + name; }
inline std::string pipe(const std::string& name) { return root() + "/pipe/" + name; }
/// Length of the system's pipe namespace prefix ("\\.\pipe\"), counted in the path limits of
/// pipe names.
constexpr size_t kPipePrefixLength = 9;
inline std::string mutex(const std::string& name) { return root() + "/mutex/" + name; }
/// A section name may carry the Windows "Global\" namespace prefix; it names the same file without it.
inline std::string sharedMem(const std::string& name)
{
    static const std::string kGlobal = "Global\\";
    const bool global = name.compare(0, kGlobal.size(), kGlobal) == 0;
    return root() + "/shm/" + (global ? name.substr(kGlobal.size()) : name);
}

/// Layout of a named-mutex file. The creator initialises `mutex` as PTHREAD_PROCESS_SHARED
/// and PTHREAD_MUTEX_ROBUST, then sets `ready` to kReadyMagic; openers refuse a file whose
/// `ready` word differs (not yet initialised or not a mutex file).
struct NamedMutexFile {
    static constexpr unsigned kReadyMagic = 0x4D555458; // "MUTX"
    pthread_mutex_t mutex;
    unsigned ready;
};

} // namespace Vdapi::RunDir
