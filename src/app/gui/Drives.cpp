#include "app/gui/Drives.h"

#include <QDir>
#include <QStringList>
#include <algorithm>

namespace tz::app::gui {

// Mounted volumes a user would keep files on: pseudo and system file systems left out.
QList<QStorageInfo> userDrives() {
    static const QStringList skipTypes = {
        "tmpfs",   "devtmpfs",   "squashfs", "proc",       "sysfs",     "devpts",
        "cgroup",  "cgroup2",    "autofs",   "efivarfs",   "mqueue",    "debugfs",
        "tracefs", "securityfs", "pstore",   "bpf",        "hugetlbfs", "configfs",
        "fusectl", "nsfs",       "ramfs",    "binfmt_misc"};
    static const QStringList skipRoots = {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"};
    QList<QStorageInfo> out;
    bool haveRoot = false;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || !v.isReady()) continue;
        const QString root = v.rootPath();
        if (root == QLatin1String("/")) {
            if (!haveRoot) out.prepend(v);
            haveRoot = true;
            continue;
        }
        if (skipTypes.contains(QString::fromLatin1(v.fileSystemType()))) continue;
        if (std::any_of(skipRoots.begin(), skipRoots.end(), [&](const QString& s) {
                return root == s || root.startsWith(s + QLatin1Char('/'));
            }))
            continue;
        out.append(v);
    }
    if (!haveRoot) out.prepend(QStorageInfo(QDir::rootPath()));
    return out;
}

}  // namespace tz::app::gui
