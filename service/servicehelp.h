#pragma once

#include <QString>

namespace zjx::service {

// What --help prints and what "/" answers: flags, requests, sample numbers and branch names.
QString helpText();

} // namespace zjx::service
