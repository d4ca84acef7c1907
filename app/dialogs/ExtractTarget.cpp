#include "app/dialogs/ExtractTarget.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrel::app {

QString DefaultExtractFolder() {
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir()) return downloads;
    return QDir::homePath();
}

std::optional<QString> SafeLocalName(const TFEntry& Entry) {
    std::string name = Entry.LongName;
    // The compilation keeps "README." for a file without an extension.
    if (!Entry.Dir && name.size() > 1 && name.back() == '.' && name.find('.') == name.size() - 1) name.pop_back();
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/') c = '_';
    }
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return QString::fromStdString(name);
}

QString ResolveInFolder(const QString& Folder, const QString& Typed) {
    if (QDir::isAbsolutePath(Typed)) return Typed;
    return QDir(Folder).filePath(Typed);
}

bool LocalPathTaken(const QString& Path) {
    struct stat st{};
    return ::lstat(QFile::encodeName(Path).constData(), &st) == 0;
}

}  // namespace kestrel::app
