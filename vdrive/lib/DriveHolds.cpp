#include "DriveHolds.h"

#include <unistd.h>

#include <atomic>
#include <exception>

namespace vdrive {
namespace {

// Unique among the holders of all processes, and apart from the owners the
// interposer makes in the same process (they leave bit 31 clear).
uint64_t NewToken() {
    static std::atomic<uint32_t> counter{0};
    const uint32_t serial = (++counter & 0x7FFFFFFFu) | 0x80000000u;
    return (static_cast<uint64_t>(::getpid()) << 32) | serial;
}

}  // namespace

DriveHolds::~DriveHolds() {
    std::lock_guard lock(mutex_);
    for (auto& [token, hold] : holds_) {
        try {
            hold.set->Release(hold.drive, token);
        } catch (const std::exception&) {
            // the claim lapses with the process
        }
    }
}

uint64_t DriveHolds::Take(const std::shared_ptr<DriveSet>& Set, int Drive) {
    const uint64_t token = NewToken();
    if (!Set->Claim(Drive, token)) return 0;
    std::lock_guard lock(mutex_);
    holds_[token] = Hold{Set, Drive};
    return token;
}

void DriveHolds::Release(int Drive, uint64_t Token) {
    Hold hold;
    {
        std::lock_guard lock(mutex_);
        auto it = holds_.find(Token);
        if (it == holds_.end() || it->second.drive != Drive) return;
        hold = std::move(it->second);
        holds_.erase(it);
    }
    hold.set->Release(hold.drive, Token);
}

}  // namespace vdrive
