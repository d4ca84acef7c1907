#pragma once
// Boot files for the El Torito tests: a tiny real-mode program that writes
// one line to the first serial port, the diskette, hard-disk and loader
// files made from it, EFI system partition images, and a runner that boots
// an image in QEMU until a line shows on the serial console.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "iso_image/ImageTestSupport.h"

extern char** environ;

namespace kestrel::test {

// The line the boot program writes to COM1.
inline const std::string BootProgramLine = "KESTREL BOOT OK";

// A boot sector's code, position-independent so it runs at 0000:7C00 (an
// emulated disk) as well as at 07C0:0000 (a no-emulation loader). It starts
// with a jump over bytes 8-63, where a boot information table may be laid.
//
//   00  EB 3E        jmp 40h              ; over the boot information table
//   40  FA           cli
//       BA F9 03     mov dx,3F9h          ; COM1: no interrupts,
//       30 C0        xor al,al
//       EE           out dx,al
//       B2 FB        mov dl,0FBh          ;   divisor latch on,
//       B0 80        mov al,80h
//       EE           out dx,al
//       B2 F8        mov dl,0F8h          ;   115200 baud,
//       B0 01        mov al,1
//       EE           out dx,al
//       42           inc dx
//       30 C0        xor al,al
//       EE           out dx,al
//       B2 FB        mov dl,0FBh          ;   8 bits, no parity, 1 stop bit
//       B0 03        mov al,3
//       EE           out dx,al
//       E8 00 00     call next            ; where am I?
//   5D  5E     next: pop si
//       0E           push cs
//       1F           pop ds
//       FC           cld
//       83 C6 22     add si,msg-next
//   64  AC     loop: lodsb
//       84 C0        test al,al
//       74 05        jz hang
//       E8 05 00     call putc
//       EB F6        jmp loop
//   6E  F4     hang: hlt
//       EB FD        jmp hang
//   71  50     putc: push ax
//       BA FD 03     mov dx,3FDh          ; wait until the transmitter is empty
//   75  EC     wait: in al,dx
//       A8 20        test al,20h
//       74 FB        jz wait
//       58           pop ax
//       B2 F8        mov dl,0F8h
//       EE           out dx,al
//       C3           ret
//   7F  msg:  "KESTREL BOOT OK", 0Dh, 0Ah, 0
inline std::string BootProgram() {
    const uint8_t code[] = {
        0xFA, 0xBA, 0xF9, 0x03, 0x30, 0xC0, 0xEE, 0xB2, 0xFB, 0xB0, 0x80, 0xEE, 0xB2, 0xF8, 0xB0, 0x01,
        0xEE, 0x42, 0x30, 0xC0, 0xEE, 0xB2, 0xFB, 0xB0, 0x03, 0xEE, 0xE8, 0x00, 0x00, 0x5E, 0x0E, 0x1F,
        0xFC, 0x83, 0xC6, 0x22, 0xAC, 0x84, 0xC0, 0x74, 0x05, 0xE8, 0x05, 0x00, 0xEB, 0xF6, 0xF4, 0xEB,
        0xFD, 0x50, 0xBA, 0xFD, 0x03, 0xEC, 0xA8, 0x20, 0x74, 0xFB, 0x58, 0xB2, 0xF8, 0xEE, 0xC3};
    std::string program(64, '\0');
    program[0] = char(0xEB);
    program[1] = char(0x3E);
    program.append(reinterpret_cast<const char*>(code), sizeof code);
    program += BootProgramLine + "\r\n";
    program += '\0';
    return program;
}

// A disk image of Bytes with the program in its boot sector.
inline std::string BootDisk(size_t Bytes) {
    std::string disk(Bytes, '\0');
    const std::string program = BootProgram();
    disk.replace(0, program.size(), program);
    disk[510] = char(0x55);
    disk[511] = char(0xAA);
    return disk;
}

// A 1.44 MB diskette (720 CD sectors: diskette emulation).
inline std::string BootDiskette() { return BootDisk(1474560); }

// A hard disk of one cylinder, 16 heads and 63 sectors (252 CD sectors:
// hard-disk emulation) with one partition in its table, whose end gives
// the BIOS the geometry.
inline std::string BootHardDisk() {
    std::string disk = BootDisk(16 * 63 * 512);
    const uint8_t partition[16] = {0x80, 0x01, 0x01, 0x00, 0x01, 0x0F, 0x3F, 0x00,
                                   63,   0,    0,    0,    0xB1, 0x03, 0,    0};  // LBA 63, 945 sectors
    disk.replace(446, sizeof partition, reinterpret_cast<const char*>(partition), sizeof partition);
    return disk;
}

// Runs a command line through the shell; true when it exited 0.
inline bool Shell(const std::string& Command, std::string* Output = nullptr) {
    const TRunResult run = RunTool(Command);
    if (Output) *Output = run.Output;
    return run.Status == 0;
}

// An EFI system partition image of Kilobytes with the files given as
// (path in the image, local file); false when mkfs.fat or mtools failed
// (the reason in Why).
inline bool MakeEfiPartition(const std::string& Image, int Kilobytes,
                             const std::vector<std::pair<std::string, std::string>>& Files, std::string& Why) {
    std::filesystem::remove(Image);
    if (!Shell("mkfs.fat -C " + Quote(Image) + " " + std::to_string(Kilobytes), &Why)) return false;
    for (const auto& [target, source] : Files) {
        std::string dir = std::filesystem::path(target).parent_path().string();
        std::vector<std::string> levels;
        for (auto p = std::filesystem::path(dir); !p.empty() && p != "/"; p = p.parent_path())
            levels.insert(levels.begin(), p.string());
        for (const auto& level : levels)
            Shell("MTOOLS_SKIP_CHECK=1 mmd -D s -i " + Quote(Image) + " " + Quote("::" + level));
        if (!Shell("MTOOLS_SKIP_CHECK=1 mcopy -o -i " + Quote(Image) + " " + Quote(source) + " " +
                       Quote("::" + target),
                   &Why))
            return false;
    }
    return true;
}

// What a QEMU run showed on its serial console.
struct TQemuRun {
    bool Started = false;
    bool Seen = false;  // the awaited text appeared
    std::string Output;
};

// True when QEMU for x86 is installed.
inline bool HaveQemu() { return HaveProgram("qemu-system-x86_64"); }

// Boots QEMU with Args (the serial console on its standard output) until
// Awaited appears or TimeoutSeconds pass, then ends it. Uses KVM when this
// machine offers it.
inline TQemuRun BootInQemu(std::vector<std::string> Args, const std::string& Awaited, int TimeoutSeconds) {
    TQemuRun run;
    std::vector<std::string> argv{"qemu-system-x86_64", "-nographic", "-no-reboot", "-nic", "none",
                                  "-m", "256", "-serial", "stdio", "-monitor", "none"};
    if (::access("/dev/kvm", R_OK | W_OK) == 0) argv.insert(argv.end(), {"-accel", "kvm"});
    argv.insert(argv.end(), Args.begin(), Args.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    run.Started = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TimeoutSeconds);
    while (run.Started && !run.Seen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[4096];
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;  // QEMU ended
        run.Output.append(chunk, static_cast<size_t>(n));
        run.Seen = run.Output.find(Awaited) != std::string::npos;
    }
    if (run.Started) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ::close(out[0]);
    return run;
}

}  // namespace kestrel::test
