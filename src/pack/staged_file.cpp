#include "pack/staged_file.h"

#include "pack/archive.h"

namespace quill::pack {

StagedFile::StagedFile(Host& host, Console& err, std::string target, const std::string& tag)
    : host_(host), err_(err), target_(std::move(target)), temporary_(target_ + ".quillpack-" + tag) {}

StagedFile::~StagedFile() { discard(); }

bool StagedFile::create(std::string& problem) {
    file_ = host_.createForWriting(temporary_);
    if (!file_) {
        problem = withReason(shownPath(host_, temporary_) + ": cannot be created", host_.lastFailure());
        return false;
    }
    exists_ = true;
    return true;
}

bool StagedFile::write(std::span<const std::byte> bytes, std::string& problem) {
    if (file_->write(bytes)) return true;
    problem = withReason(shownPath(host_, temporary_) + ": writing failed", host_.lastFailure());
    return false;
}

bool StagedFile::finish(std::string& problem) {
    if (!file_->makeDurable()) {
        problem = withReason(shownPath(host_, temporary_) + ": the system did not confirm it reached the disk",
                             host_.lastFailure());
        return false;
    }
    const bool closed = file_->close();
    file_.reset();
    if (!closed) problem = withReason(shownPath(host_, temporary_) + ": writing failed", host_.lastFailure());
    return closed;
}

ReplaceResult StagedFile::publish(std::string& problem) {
    const ReplaceResult result = host_.replaceFile(temporary_, target_);
    if (result == ReplaceResult::notReplaced) {
        problem = withReason(shownPath(host_, target_) + ": cannot be replaced", host_.lastFailure());
    } else {
        exists_ = false;
        if (result == ReplaceResult::replacedNotDurable) {
            problem = shownPath(host_, target_) + ": in place, but the system did not confirm the change reached "
                                                  "the disk";
        }
    }
    return result;
}

void StagedFile::discard() {
    file_.reset();
    if (!exists_) return;
    exists_ = false;
    if (!host_.removeFile(temporary_)) {
        err_.print(withReason(shownPath(host_, temporary_) + ": temporary file left behind; remove it",
                              host_.lastFailure()) +
                   "\n");
    }
}

}  // namespace quill::pack
