#include "platform/settings_store.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace platform {

struct SettingsStore::Impl {
    QSettings qs{"Quenlow", "Kestrune"};
};

SettingsStore::SettingsStore() : impl_(new Impl) {}
SettingsStore::~SettingsStore() {
    impl_->qs.sync();
    delete impl_;
}

static QString Key(const std::string& name) { return QString::fromStdString(name); }

std::optional<int32_t> SettingsStore::ReadDword(const std::string& name) const {
    QVariant v = impl_->qs.value(Key(name));
    if (!v.isValid()) return std::nullopt;
    // INI values come back as text; anything that is not a whole 32-bit
    // number (a byte array, a list, letters) counts as missing.
    if (v.typeId() != QMetaType::QString && v.typeId() != QMetaType::Int &&
        v.typeId() != QMetaType::LongLong && v.typeId() != QMetaType::UInt)
        return std::nullopt;
    bool ok = false;
    qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(n & 0xFFFFFFFFLL));
}

std::optional<std::string> SettingsStore::ReadString(const std::string& name) const {
    QVariant v = impl_->qs.value(Key(name));
    if (!v.isValid() || v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString().toStdString();
}

std::optional<std::vector<uint8_t>> SettingsStore::ReadBinary(const std::string& name) const {
    QVariant v = impl_->qs.value(Key(name));
    if (!v.isValid() || v.typeId() != QMetaType::QByteArray) return std::nullopt;
    QByteArray b = v.toByteArray();
    return std::vector<uint8_t>(b.begin(), b.end());
}

void SettingsStore::WriteDword(const std::string& name, int32_t value) {
    impl_->qs.setValue(Key(name), value);
}
void SettingsStore::WriteString(const std::string& name, const std::string& value) {
    impl_->qs.setValue(Key(name), QString::fromStdString(value));
}
void SettingsStore::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
    impl_->qs.setValue(Key(name),
                       QByteArray(reinterpret_cast<const char*>(value.data()),
                                  static_cast<qsizetype>(value.size())));
}
bool SettingsStore::Sync() {
    impl_->qs.sync();
    return impl_->qs.status() == QSettings::NoError;
}
std::string SettingsStore::FilePath() const { return impl_->qs.fileName().toStdString(); }

} // namespace platform
