#pragma once

#include "Catalogue.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Receives the entries of one folder below the listed folder: its path below it (empty for
// the listed folder) and what it holds. Called from several threads at once.
using FolderRecordSink =
    std::function<void(std::string relativePath, std::vector<RecordedEntry> entries)>;

enum class RecordOutcome { Done, CannotOpen, Stopped };

// Reads `folder` and everything below it with the scan's parallel walk and hands every folder
// to `sink`, each once, a folder before the folders below it. Symbolic links are never
// followed; a sub-folder that cannot be opened is recorded without contents. Ends early, with
// Stopped, once `stop` is set.
RecordOutcome RecordTree(const std::string& folder, const FolderRecordSink& sink,
                         const std::atomic<bool>& stop);
