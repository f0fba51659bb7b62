#pragma once

namespace zjx {

// What a test puts in place of a seam's real work (a seam class's Handler): one for each seam
// class, empty while the real work is done.
template <typename Seam> typename Seam::Handler& seamHandler() {
    static typename Seam::Handler handler;
    return handler;
}

} // namespace zjx
