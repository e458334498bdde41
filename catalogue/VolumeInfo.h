#pragma once

#include "catalogue/Catalogue.h"

#include <string>
#include <vector>

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

// The media of `catalogue` that were listed from `folder`: from the same folder of the same
// volume (its UUID and its path within the volume), wherever the volume is mounted now. None
// when the volume of `folder` is not known.
std::vector<Medium> MediaListedFrom(ICatalogue& catalogue, const std::string& folder);
