#pragma once

#include "Catalogue.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Receives the entries of one folder below the listed folder: its path below it (empty for
// the listed folder) and what it holds.
using FolderRecordSink =
    std::function<void(std::string relativePath, std::vector<RecordedEntry> entries)>;

enum class RecordOutcome { Done, CannotOpen, Stopped };

// Reads every folder below `folder` and hands each to `sink`, a folder always after the
// folder that holds it, all on the calling thread. Symbolic links are never followed; a
// sub-folder that cannot be opened is recorded without contents. Ends early, with Stopped,
// once `stop` is set.
RecordOutcome RecordTree(const std::string& folder, const FolderRecordSink& sink,
                         const std::atomic<bool>& stop);
