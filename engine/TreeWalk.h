#pragma once

#include "engine/FolderWalk.h"

#include <atomic>
#include <string>

enum class WalkOutcome { Done, CannotOpen, Stopped };

// Reads `folder` and everything below it with the scan's parallel walk and reports each folder
// read to `sink` (see ITreeSink): the listed folder first, its entries examined on the pool's
// threads, then every folder below, each after its parent. Symbolic links are never followed;
// a sub-folder that cannot be opened is an entry of its parent without contents; a folder that
// is its own ancestor (a bind mount looping back) is not entered; a folder mounted twice is
// read under both paths. Stops early, with Stopped, once `stop` is set. The first exception
// that the sink throws (or std::bad_alloc met by the walk) stops the walk and is rethrown here,
// once every thread has left it.
WalkOutcome WalkTree(const std::string& folder, ITreeSink& sink, const std::atomic<bool>& stop,
                     CWalkPool& pool = CWalkPool::Shared());
