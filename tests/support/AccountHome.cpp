// Preloaded into a murmeli that a test starts (LD_PRELOAD), this points the user database's home of the user running
// it at the folder MURMELI_TEST_ACCOUNT_HOME names, so that a test can start murmeli as the user's own account would,
// without MURMELI_INSTANCE_DIR, and still never reach the tester's own murmeli through the lock in their real home.

#include <cstdlib>
#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

namespace {

void pointHome(passwd* entry)
{
    if (entry != nullptr && entry->pw_uid == ::getuid()) {
        if (char* home = std::getenv("MURMELI_TEST_ACCOUNT_HOME"); home != nullptr && *home != '\0') {
            entry->pw_dir = home;
        }
    }
}

} // namespace

extern "C" {

int getpwuid_r(uid_t uid, passwd* entry, char* buffer, size_t size, passwd** found)
{
    using Real = int (*)(uid_t, passwd*, char*, size_t, passwd**);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getpwuid_r"));
    const int result = real(uid, entry, buffer, size, found);
    if (result == 0) {
        pointHome(*found);
    }
    return result;
}

passwd* getpwuid(uid_t uid)
{
    using Real = passwd* (*)(uid_t);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getpwuid"));
    passwd* entry = real(uid);
    pointHome(entry);
    return entry;
}

} // extern "C"
