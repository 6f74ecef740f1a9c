#include "certificate_folder.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

CertificateFolder::CertificateFolder(const char *script)
{
    if (::access(script, R_OK) != 0) {
        problem = std::string("no certificate script at ") + script;
        return;
    }
    char folderTemplate[] = "/tmp/mbbench-tls-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        problem = "cannot make a temporary folder";
        return;
    }
    folder = folderTemplate;
    char *argv[] = {const_cast<char *>("sh"), const_cast<char *>(script), const_cast<char *>(folder.c_str()), nullptr};
    pid_t pid = -1;
    int status = -1;
    if (posix_spawnp(&pid, "sh", nullptr, nullptr, argv, environ) == 0) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (status != 0)
        problem = std::string(script) + " failed";
}

CertificateFolder::~CertificateFolder()
{
    if (folder.empty())
        return;
    // The script makes plain files only.
    if (DIR *entries = ::opendir(folder.c_str())) {
        while (dirent *entry = ::readdir(entries)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                ::unlink(file(name.c_str()).c_str());
        }
        ::closedir(entries);
    }
    ::rmdir(folder.c_str());
}
