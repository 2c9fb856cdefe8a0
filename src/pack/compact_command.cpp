// quillpack compact: a fresh pair holding every distinct range of bytes once,
// in list order, with no gaps; both files written under temporary names first.
#include <climits>
#include <map>
#include <utility>

#include "pack/archive.h"

namespace quill::pack {
namespace {

struct Layout {
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // offset and length in the old resource, in order
    std::vector<std::int64_t> newOffsets;                       // per record
    std::int64_t size = 0;
};

Layout layOut(const EntryTable& table) {
    Layout layout;
    std::map<std::pair<std::int64_t, std::int64_t>, std::int64_t> placed;
    for (int i = 0; i < table.count; ++i) {
        const ListEntry& entry = table.entries[static_cast<std::size_t>(i)];
        const std::pair<std::int64_t, std::int64_t> range{entry.offset, entry.length};
        const auto [at, isNew] = placed.try_emplace(range, layout.size);
        if (isNew) {
            layout.ranges.push_back(range);
            layout.size += entry.length;
        }
        layout.newOffsets.push_back(at->second);
    }
    return layout;
}

std::string listText(const EntryTable& table, const Layout& layout) {
    std::string text;
    for (int i = 0; i < table.count; ++i) {
        const ListEntry& entry = table.entries[static_cast<std::size_t>(i)];
        text += std::to_string(entry.length) + " " + std::to_string(layout.newOffsets[static_cast<std::size_t>(i)]) +
                " " + entry.name + "\r\n";
    }
    return text;
}

// Writes a file under a temporary name beside its place; false (and nothing left) on failure.
template <typename WriteAll>
bool writeTemporary(Host& host, const std::string& temporary, WriteAll writeAll) {
    auto file = host.createForWriting(temporary);
    if (file && writeAll(*file) && file->makeDurable() && file->close()) return true;
    file.reset();
    (void)host.removeFile(temporary);
    return false;
}

}  // namespace

PackStatus compactArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                          const std::string& newListPath) {
    const NameRules rules = host.nameRules();
    const std::string resourcePath = deriveResourcePath(listPath);
    const std::string newResourcePath = deriveResourcePath(newListPath);
    for (const std::string& target : {newListPath, newResourcePath}) {
        // By name, and by identity for other spellings of the same files (links, "./", letter case).
        if (sameOutputPath(target, listPath, rules) || sameOutputPath(target, resourcePath, rules) ||
            host.sameFile(target, listPath, NameCase::exact) ||
            host.sameFile(target, resourcePath, NameCase::ignoreWhenMissing)) {
            err.print(shownPath(host, target) + ": is the archive being compacted; name a new list\n");
            return PackStatus::badCommandLine;
        }
    }
    if (sameOutputPath(newListPath, newResourcePath, rules)) {
        err.print(shownPath(host, newListPath) + ": has no extension, so it would be its own resource; name it .RD\n");
        return PackStatus::badCommandLine;
    }
    // Not read while an update is half-way.
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveLocked(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    const Layout layout = layOut(*archive.table);
    if (layout.size > INT32_MAX) {
        err.print(shownPath(host, newResourcePath) + ": would pass 2147483647 bytes (overlapping records are "
                                                     "stored once each)\n");
        return PackStatus::archiveUnsafe;
    }

    const std::string temporaryResource = newResourcePath + ".quillpack-new";
    const std::string temporaryList = newListPath + ".quillpack-new";
    const bool resourceWritten = writeTemporary(host, temporaryResource, [&](WriteFile& file) {
        for (const auto& [offset, length] : layout.ranges) {
            if (!file.write(archive.resource.bytes().subspan(static_cast<std::size_t>(offset),
                                                             static_cast<std::size_t>(length)))) {
                return false;
            }
        }
        return true;
    });
    if (!resourceWritten) {
        err.print(shownPath(host, temporaryResource) + ": writing failed; nothing written\n");
        return PackStatus::writeFailed;
    }
    const std::string text = listText(*archive.table, layout);
    const bool listWritten = writeTemporary(host, temporaryList, [&](WriteFile& file) {
        return file.write(std::as_bytes(std::span(text)));
    });
    if (!listWritten) {
        (void)host.removeFile(temporaryResource);
        err.print(shownPath(host, temporaryList) + ": writing failed; nothing written\n");
        return PackStatus::writeFailed;
    }
    if (host.replaceFile(temporaryResource, newResourcePath) == ReplaceResult::notReplaced) {
        (void)host.removeFile(temporaryResource);
        (void)host.removeFile(temporaryList);
        err.print(shownPath(host, newResourcePath) + ": cannot be put in place; nothing written\n");
        return PackStatus::writeFailed;
    }
    if (host.replaceFile(temporaryList, newListPath) == ReplaceResult::notReplaced) {
        (void)host.removeFile(temporaryList);
        err.print(shownPath(host, newListPath) + ": cannot be put in place; " + shownPath(host, newResourcePath) +
                  " is written but has no list\n");
        return PackStatus::writeFailed;
    }
    out.print("wrote " + shownPath(host, newListPath) + " (" + std::to_string(archive.table->count) + " records) and " +
              shownPath(host, newResourcePath) + " (" + std::to_string(layout.size) + " bytes in " +
              std::to_string(layout.ranges.size()) + " ranges; was " + std::to_string(archive.resource.size) +
              " bytes)\n");
    return PackStatus::done;
}

}  // namespace quill::pack
