// The error that ends the running handler: the game reports it and stops.
#pragma once

#include <QString>
#include <stdexcept>

namespace vortana {

struct RuntimeError : std::runtime_error {
    explicit RuntimeError(const QString &m) : std::runtime_error(m.toStdString()), message(m) {}
    QString message;
};

}  // namespace vortana
