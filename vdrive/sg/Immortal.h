#pragma once
// Holds an object that lives until the process ends and is never destroyed.
// The interposer's tables must outlive every static destructor: a program
// may still close or read a descriptor while it exits.
#include <new>
#include <utility>

namespace vdrive::sg {

template <typename T>
class Immortal {
public:
    template <typename... Args>
    explicit Immortal(Args&&... A) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(A)...);
    }
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;
    T& Get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace vdrive::sg
