#pragma once
// Thread priorities on Linux: the nice value of the calling thread. A
// process without the right to raise its priority again never lowers it,
// so a worker that drops to idle while its queue is full cannot get stuck
// there when the writer is about to starve.
namespace kestrel {

enum class TThreadPriority { Idle, Lowest, BelowNormal, Normal, TimeCritical };

// Applies Priority to the calling thread where the process may; failures
// (no permission) are ignored quietly.
void SetCurrentThreadPriority(TThreadPriority Priority);

}  // namespace kestrel
