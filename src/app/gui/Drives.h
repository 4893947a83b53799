#pragma once
#include <QList>
#include <QStorageInfo>

// The seam for the main window's drive box: the volumes a user would keep files on, the one
// holding the root first.
//
// Linux (Drives.cpp): the mounted volumes less pseudo and system file systems (proc, tmpfs,
// cgroup …) and system mount points (/proc, /sys, /dev, /run, /snap, /boot/efi); "/" first.
// Windows keeps the contract with QStorageInfo::mountedVolumes() as it stands: every ready
// drive letter ("C:/", "D:/" …) in letter order, network drives included; nothing to leave out.
// The drive box's choice sets the working folder, so "\ZTEMP" follows the chosen drive.
namespace tz::app::gui {

QList<QStorageInfo> userDrives();

}  // namespace tz::app::gui
