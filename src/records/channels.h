// Numbered file channels: the lowest free number, given back on close.
#pragma once

#include <cstdint>
#include <set>

namespace vortana {

class FileChannels {
public:
    // Holds a channel for as long as one file is open on it.
    class Lease {
    public:
        Lease(FileChannels &c, std::int16_t n) : c_(c), n_(n) { c_.used_.insert(n_); }
        ~Lease() { c_.used_.erase(n_); }
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;

    private:
        FileChannels &c_;
        std::int16_t n_;
    };

    std::int16_t next() const
    {
        std::int16_t n = 1;
        while (used_.count(n))
            ++n;
        return n;
    }

private:
    std::set<std::int16_t> used_;
};

}  // namespace vortana
