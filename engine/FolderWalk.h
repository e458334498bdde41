#pragma once

#include "CatalogriumDoc.h"

// Adds everything below the sub-folder `name` of the open folder `parentFd` to `tally`: each
// file (any entry that is not a folder, symbolic links included) adds its size and 1 file, each
// folder adds 1 folder and whatever lies below it. The caller counts `name` itself.
//
// The walk keeps its place in memory instead of on the call stack and holds only a few
// descriptors open at any depth. It opens folders only, never through a symbolic link, and
// never enters a folder that is already one of its own ancestors. A folder that cannot be
// opened counts as empty; when the tree changes under the walk so that it cannot find its way
// back up, the walk stops with what it has counted.
void TallyFolder(FolderTally& tally, int parentFd, const char* name);
