#pragma once

#include "Catalogue.h"

#include <string>

// The volume that holds `folder`: the file-system type and the folder's path within the file
// system from the mount table (`mountInfo`, in the form of /proc/self/mountinfo), the UUID
// and label from the links in
// `diskFolder`/by-uuid and `diskFolder`/by-label that lead to the mounted device. Fields
// stay empty when they cannot be found.
VolumeInfo VolumeOf(const std::string& folder,
                    const std::string& mountInfo = "/proc/self/mountinfo",
                    const std::string& diskFolder = "/dev/disk");

// The folder that the file system holding `folder` is mounted on; empty when it cannot be
// found.
std::string MountPointOf(const std::string& folder,
                         const std::string& mountInfo = "/proc/self/mountinfo");
