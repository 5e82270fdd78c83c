#include "platform/RegistryStore.h"

#include "platform/Text.h"

#include <QSettings>
#include <QString>
#include <filesystem>

namespace pelvar {
namespace {

QString q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}
std::string s(const QString& q) {
    return q.toLocal8Bit().toStdString();
}

QString findIgnoringCase(const QStringList& names, const QString& wanted) {
    for (const auto& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            return name;
        }
    }
    return {};
}

// Enters the groups of the key path; with `create` missing groups are entered under the
// given spelling. False when a key is missing and may not be created.
bool enterKey(QSettings& settings, const std::string& keyPath, bool create) {
    for (const auto& part : splitKeyPath(keyPath)) {
        QString existing = findIgnoringCase(settings.childGroups(), q(part));
        if (existing.isEmpty()) {
            if (!create) {
                return false;
            }
            existing = q(part);
        }
        settings.beginGroup(existing);
    }
    return true;
}

std::optional<std::string> asText(const QVariant& v) {
    if (v.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return s(v.toString());
}

} // namespace

std::vector<std::string> splitKeyPath(const std::string& keyPath) {
    std::vector<std::string> parts;
    for (auto& piece : text::splitAll(text::replaceAll(keyPath, "/", "\\"), '\\')) {
        if (!piece.empty()) {
            parts.push_back(piece);
        }
    }
    if (!parts.empty() && (text::equalsIgnoringCase(parts.front(), "HKLM") ||
                           text::equalsIgnoringCase(parts.front(), "HKEY_LOCAL_MACHINE"))) {
        parts.erase(parts.begin());
    }
    return parts;
}

IniRegistryStore::IniRegistryStore(std::string iniFile) : file_(std::move(iniFile)) {}

std::optional<std::string> IniRegistryStore::read(const std::string& keyPath,
                                                  const std::string& name) const {
    QSettings settings(q(file_), QSettings::IniFormat);
    if (!enterKey(settings, keyPath, false)) {
        return std::nullopt;
    }
    const QString key = findIgnoringCase(settings.childKeys(), q(name));
    if (key.isEmpty()) {
        return std::nullopt;
    }
    return asText(settings.value(key));
}

bool IniRegistryStore::write(const std::string& keyPath, const std::string& name,
                             const std::string& value) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), ec);
    QSettings settings(q(file_), QSettings::IniFormat);
    if (splitKeyPath(keyPath).empty() || !enterKey(settings, keyPath, true)) {
        return false;
    }
    QString key = findIgnoringCase(settings.childKeys(), q(name));
    settings.setValue(key.isEmpty() ? q(name) : key, q(value));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool IniRegistryStore::remove(const std::string& keyPath, const std::string& name) {
    QSettings settings(q(file_), QSettings::IniFormat);
    if (!enterKey(settings, keyPath, false)) {
        return false;
    }
    const QString key = findIgnoringCase(settings.childKeys(), q(name));
    if (key.isEmpty()) {
        return false;
    }
    settings.remove(key);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

std::vector<std::pair<std::string, std::optional<std::string>>>
IniRegistryStore::list(const std::string& keyPath) const {
    std::vector<std::pair<std::string, std::optional<std::string>>> values;
    QSettings settings(q(file_), QSettings::IniFormat);
    if (!enterKey(settings, keyPath, false)) {
        return values;
    }
    for (const auto& key : settings.childKeys()) {
        values.emplace_back(s(key), asText(settings.value(key)));
    }
    return values;
}

} // namespace pelvar
