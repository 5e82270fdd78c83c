#pragma once

#include <QString>
#include <string>

namespace pelvar {

// The system's texts are bytes in the local code page; windows show them as QStrings.
inline QString qtText(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}
inline std::string stdText(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

} // namespace pelvar
