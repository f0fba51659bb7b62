#pragma once

#include <QByteArray>
#include <QString>

namespace zjx::service {

// The secret that makes the service private to one program. Both readers return an error text,
// empty on success; the secret is the first line, without surrounding white space, 16 to 1024
// bytes long.

// From a descriptor inherited from the program that started the service (read to its end and
// closed), so the secret never shows on a command line or in the environment.
QString readSecretFromDescriptor(int fd, QByteArray& secret);

// From a file that only the service's user can read or change: opened first, then checked on
// the open file (regular, owned by this user, no permission bits for group or others, at most
// 4 KiB), so it cannot be swapped between the check and the read.
QString readSecretFromFile(const QString& path, QByteArray& secret);

} // namespace zjx::service
