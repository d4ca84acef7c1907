#pragma once
// Descriptors that stand for virtual drives. Each is a real descriptor (a
// small memfd named after the node) so that poll, close and fork behave;
// the table says which drive it stands for. Duplicates share one FakeFile,
// like duplicates of a real open file share its description.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace vdrive::sg {

struct FakeFile {
    FakeFile(int Drive, int Flags, uint64_t Owner);
    ~FakeFile();
    FakeFile(const FakeFile&) = delete;
    FakeFile& operator=(const FakeFile&) = delete;

    const int Drive;
    const int Flags;         // the open flags
    const uint64_t Owner;    // exclusive claim (O_EXCL), 0 when none
    const pid_t OwnerPid;    // a forked child never releases its parent's claim

    std::mutex Mutex;        // guards the fields below
    int64_t Offset = 0;      // for read and lseek
    int TimeoutJiffies = 6000;
    int ReservedSize = 65536;
};

class FakeFiles {
public:
    static FakeFiles& Instance();

    // Lock-free: the common question for every descriptor a program uses.
    static bool IsFake(int Fd);

    // Creates the descriptor for Drive; -1 with errno on failure.
    int Create(int Drive, int Flags, uint64_t Owner);
    std::shared_ptr<FakeFile> Find(int Fd);
    // Makes NewFd another descriptor of the same file as Fd.
    void Share(int Fd, int NewFd);
    // Forgets Fd; the caller drops the returned reference after closing.
    std::shared_ptr<FakeFile> Forget(int Fd);

    // Registers virtual-drive descriptors inherited through exec.
    void AdoptInherited();
    // Gives back this process's exclusive claims (at process end, when
    // descriptors may be left open).
    void ReleaseClaims();

    static std::string MarkerName(int Drive);

private:
    void Put(int Fd, std::shared_ptr<FakeFile> File);

    std::mutex mutex_;
    std::unordered_map<int, std::shared_ptr<FakeFile>> files_;
};

}  // namespace vdrive::sg
