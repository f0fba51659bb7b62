#pragma once

#include <QtGlobal>

namespace zjx::stress {

// Resident memory of a process from /proc (0: this process), in KiB; -1 when it cannot be read.
long residentKiB(qint64 pid = 0);

} // namespace zjx::stress
