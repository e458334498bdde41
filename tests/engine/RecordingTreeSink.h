#pragma once

#include "engine/FolderWalk.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Records every folder it receives with its full path, rebuilt from the tags it hands out:
// a folder's tag is its place in `folders`. `hook` runs first, on the walk's thread, with the
// folder and that path.
class RecordingTreeSink : public ITreeSink {
public:
    struct Entry {
        std::string name;
        WalkedEntry walked; // its name points nowhere once the call is over
    };
    struct Folder {
        std::uint64_t parentTag = 0;
        std::size_t index = 0;
        std::string name;
        std::string path;
        std::vector<Entry> entries;
    };

    // For a walk that reports the listed folder first (WalkTree).
    RecordingTreeSink() = default;
    // For a scan, which does not report the listed folder: its folders come with tag 0.
    explicit RecordingTreeSink(const std::string& listed) : m_listedReported(false) {
        folders.push_back({0, 0, listed, listed, {}});
    }

    std::uint64_t OnFolder(const TreeFolder& folder) override {
        std::string path = PathOf(folder);
        if (hook)
            hook(folder, path);
        Folder record{folder.parentTag, folder.index, std::string(folder.name), path, {}};
        for (const WalkedEntry& entry : folder.entries)
            record.entries.push_back({std::string(entry.name), entry});
        std::lock_guard lock(m_mutex);
        duplicates += !paths.insert(path).second;
        threads.insert(std::this_thread::get_id());
        folders.push_back(std::move(record));
        return folders.size() - 1;
    }

    std::function<void(const TreeFolder&, const std::string&)> hook;
    std::deque<Folder> folders; // tag 0 is the listed folder
    std::set<std::string> paths;
    std::set<std::thread::id> threads;
    int duplicates = 0;
    // Folders whose parent tag was not handed out by an earlier call that had returned.
    int unknownParents = 0;

private:
    std::string PathOf(const TreeFolder& folder) {
        std::lock_guard lock(m_mutex);
        if (m_listedReported && folders.empty() && folder.parentTag == 0)
            return std::string(folder.name);
        if (folder.parentTag >= folders.size()) {
            ++unknownParents;
            return "?";
        }
        return folders[folder.parentTag].path + "/" + std::string(folder.name);
    }

    bool m_listedReported = true;
    std::mutex m_mutex;
};
