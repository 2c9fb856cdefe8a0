#include "e2e/full_disk.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/scratch.h"

namespace quill::e2e {

FullFileSystem::FullFileSystem(const std::filesystem::path& mountPoint, int filesThatFit) : mountPoint_(mountPoint) {
    std::filesystem::create_directories(mountPoint);
    const long page = sysconf(_SC_PAGESIZE);
    const std::string options = "size=" + std::to_string(page * (filesThatFit + 1)) + ",mode=0777";
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, options.c_str()) != 0) {
        why_ = std::string("mounting a small tmpfs needs root: ") + std::strerror(errno);
        return;
    }
    testing::writeFile(mountPoint / "FILLER", std::string(static_cast<std::size_t>(page), 'f'));
}

FullFileSystem::~FullFileSystem() {
    if (mounted()) (void)::umount2(mountPoint_.c_str(), MNT_DETACH);
}

}  // namespace quill::e2e
