#include "host/host_checks.h"

#include <array>
#include <cstddef>
#include <limits>

namespace quill::testing {
namespace {

constexpr const char* kMissing = "<missing>";

class Checker {
public:
    explicit Checker(const CheckPlace& place) : place_(place) {}

    Host& host() const { return place_.host; }
    std::string at(const std::string& name) const { return place_.directory + "\\" + name; }

    void expect(bool ok, const std::string& what) {
        if (!ok) failures_.push_back(what);
    }

    bool put(const std::string& name, const std::string& text) {
        auto file = host().createForWriting(at(name));
        const bool written = file && write(*file, text) && file->close();
        expect(written, "cannot set up " + name);
        return written;
    }

    // The file's bytes as text, "" when empty, kMissing when it cannot be read.
    std::string get(const std::string& name) const {
        WholeFile file;
        const LoadStatus status =
            loadWholeFile(host(), at(name), NameCase::exact, std::numeric_limits<std::int32_t>::max(), file);
        if (status == LoadStatus::empty) return "";
        if (status != LoadStatus::loaded) return kMissing;
        return {reinterpret_cast<const char*>(file.memory->data()), static_cast<std::size_t>(file.size)};
    }

    void expectText(const std::string& name, const std::string& want, const std::string& what) {
        const std::string got = get(name);
        expect(got == want, what + ": " + name + " holds '" + got + "', not '" + want + "'");
    }

    static bool write(WriteFile& file, const std::string& text) {
        return file.write({reinterpret_cast<const std::byte*>(text.data()), text.size()});
    }

    bool setTime(const std::string& name, std::int64_t seconds) const { return place_.setTime(at(name), seconds); }

    Failures take() { return std::move(failures_); }

private:
    const CheckPlace& place_;
    Failures failures_;
};

Failures appending(const CheckPlace& place) {
    Checker check(place);
    if (!check.put("A.RES", "abc")) return check.take();
    std::int64_t firstSize = -1;
    std::int64_t secondSize = -1;
    auto first = check.host().openForAppending(check.at("A.RES"), NameCase::exact, firstSize);
    auto second = check.host().openForAppending(check.at("A.RES"), NameCase::exact, secondSize);
    check.expect(first && second, "an existing file opens for appending");
    if (!first || !second) return check.take();
    check.expect(firstSize == 3 && secondSize == 3, "opening tells the file's length");
    // The second writer opened at length 3 but writes after the first one's bytes.
    check.expect(Checker::write(*first, "de") && Checker::write(*second, "Z"), "appending writes succeed");
    check.expect(first->makeDurable() && second->makeDurable(), "appended bytes are made durable");
    check.expect(first->close() && second->close(), "appending files close");
    check.expectText("A.RES", "abcdeZ", "every write lands at the end as the file stands then");

    std::int64_t size = -1;
    check.expect(!check.host().openForAppending(check.at("NONE.RES"), NameCase::exact, size),
                 "a missing file does not open for appending");
    check.expectText("NONE.RES", kMissing, "opening for appending never creates a file");
    check.host().makeDirectory(check.at("DIR"));
    check.expect(!check.host().openForAppending(check.at("DIR"), NameCase::exact, size),
                 "a directory does not open for appending");
    return check.take();
}

Failures durableCreation(const CheckPlace& place) {
    Checker check(place);
    auto file = check.host().createForWriting(check.at("NEW.RD"));
    check.expect(file && Checker::write(*file, "x") && file->makeDurable() && file->close(),
                 "a created file is written, made durable and closed");
    check.expectText("NEW.RD", "x", "the bytes made durable are the file's");
    return check.take();
}

Failures replacing(const CheckPlace& place) {
    Checker check(place);
    Host& host = check.host();
    if (!check.put("L.RD", "old") || !check.put("L.NEW", "new") || !check.put("M.NEW", "m")) return check.take();
    check.expect(host.replaceFile(check.at("L.NEW"), check.at("L.RD")) == ReplaceResult::replaced,
                 "a file replaces another");
    check.expectText("L.RD", "new", "after replacing");
    check.expectText("L.NEW", kMissing, "the replacing file's own name is gone");
    check.expect(host.replaceFile(check.at("M.NEW"), check.at("M.RD")) == ReplaceResult::replaced,
                 "a file takes a name nothing had");
    check.expectText("M.RD", "m", "after taking a new name");

    check.expect(host.replaceFile(check.at("GONE.NEW"), check.at("L.RD")) == ReplaceResult::notReplaced,
                 "a missing file replaces nothing");
    check.expectText("L.RD", "new", "a refused replace leaves the target");

    // A file of the same name beside the target must not be taken for it.
    host.makeDirectory(check.at("SUB"));
    if (!check.put("SUB\\X.NEW", "x") || !check.put("X.NEW", "beside")) return check.take();
    check.expect(host.replaceFile(check.at("SUB\\X.NEW"), check.at("L.RD")) == ReplaceResult::notReplaced,
                 "a file in another directory is refused");
    check.expectText("SUB\\X.NEW", "x", "a refused replace leaves the source");
    check.expectText("X.NEW", "beside", "a refused replace leaves the file beside the target");
    check.expectText("L.RD", "new", "a refused replace leaves the target");

    if (!check.put("D.NEW", "d")) return check.take();
    check.expect(host.replaceFile(check.at("D.NEW"), check.at("SUB")) == ReplaceResult::notReplaced,
                 "a directory is not replaced by a file");
    check.expectText("D.NEW", "d", "a refused replace leaves the source");
    return check.take();
}

Failures locking(const CheckPlace& place) {
    Checker check(place);
    Host& host = check.host();
    if (!check.put("S.RES", "0123456789")) return check.take();
    const std::string path = check.at("S.RES");
    auto held = host.lockExclusive(path, NameCase::exact, LockWait::no);
    check.expect(held != nullptr, "an unlocked file is locked");
    check.expect(!host.lockExclusive(path, NameCase::exact, LockWait::no),
                 "a second lock is refused while the first is held");
    check.expect(host.lastFailure() == kLockHeldReason, "a lock held elsewhere is named as such");

    // The lock keeps out other lockers only: the file's bytes stay open.
    check.expectText("S.RES", "0123456789", "a locked file is read");
    std::int64_t size = -1;
    auto appended = host.openForAppending(path, NameCase::exact, size);
    check.expect(appended && Checker::write(*appended, "AB") && appended->close(), "a locked file is appended to");
    check.expectText("S.RES", "0123456789AB", "after appending under the lock");
    check.expect(host.cutBack(path, NameCase::exact, 10), "a locked file is cut back");
    check.expectText("S.RES", "0123456789", "after cutting back under the lock");

    held.reset();
    auto again = host.lockExclusive(path, NameCase::exact, LockWait::no);
    check.expect(again != nullptr, "a released lock is granted again");
    again.reset();
    check.expect(host.lockExclusive(path, NameCase::exact, LockWait::yes) != nullptr,
                 "a lock that may wait is granted at once when free");
    check.expect(!host.lockExclusive(check.at("NONE.RES"), NameCase::exact, LockWait::no),
                 "a missing file cannot be locked");
    check.expectText("NONE.RES", kMissing, "locking never creates a file");
    return check.take();
}

Failures lockingCreating(const CheckPlace& place) {
    Checker check(place);
    Host& host = check.host();
    const std::string path = check.at("N.RES");
    bool created = false;
    auto made = host.lockCreating(path, created);
    check.expect(made != nullptr && created, "a missing file is made and locked");
    check.expectText("N.RES", "", "the file made is empty");
    bool again = true;
    check.expect(!host.lockCreating(path, again) && !again, "a second locker is refused and made nothing");
    check.expect(host.lastFailure() == kLockHeldReason, "the refusal names the holder");
    // The maker removes what it made while it still holds it.
    check.expect(host.removeFile(path), "a file made for a lock is removed under the lock");
    made.reset();
    check.expectText("N.RES", kMissing, "the removed file is gone once the lock is released");

    if (!check.put("E.RES", "kept")) return check.take();
    auto found = host.lockCreating(check.at("E.RES"), created);
    check.expect(found != nullptr && !created, "an existing file is locked, not made");
    found.reset();
    check.expectText("E.RES", "kept", "an existing file is never cut short");
    check.expect(!host.lockCreating(check.at("NODIR\\N.RES"), created) && !created,
                 "no file is made in a missing directory");
    return check.take();
}

Failures cuttingBack(const CheckPlace& place) {
    Checker check(place);
    Host& host = check.host();
    if (!check.put("C.RES", "abcdef")) return check.take();
    const std::string path = check.at("C.RES");
    check.expect(host.cutBack(path, NameCase::exact, 4), "a file is cut back");
    check.expectText("C.RES", "abcd", "after cutting back");
    check.expect(host.cutBack(path, NameCase::exact, 4), "cutting back to the length the file has");
    check.expectText("C.RES", "abcd", "after cutting back to its own length");
    check.expect(!host.cutBack(path, NameCase::exact, 5), "cutting back never lengthens a file");
    check.expect(!host.cutBack(path, NameCase::exact, -1), "a negative length is refused");
    check.expectText("C.RES", "abcd", "after refused cuts");
    check.expect(host.cutBack(path, NameCase::exact, 0), "a file is cut back to nothing");
    check.expectText("C.RES", "", "after cutting back to nothing");
    check.expect(!host.cutBack(check.at("NONE.RES"), NameCase::exact, 0), "a missing file is not cut back");
    check.expectText("NONE.RES", kMissing, "cutting back never creates a file");
    return check.take();
}

Failures modificationTimes(const CheckPlace& place) {
    Checker check(place);
    Host& host = check.host();
    if (!check.put("T1", "1") || !check.put("T2", "2")) return check.take();
    const bool set = check.setTime("T1", 1000) && check.setTime("T2", 1001);
    check.expect(set, "cannot set up the files' times");
    if (!set) return check.take();
    FileTime first;
    FileTime second;
    FileTime firstAgain;
    check.expect(host.readModificationTime(check.at("T1"), NameCase::exact, first) &&
                     host.readModificationTime(check.at("T2"), NameCase::exact, second) &&
                     host.readModificationTime(check.at("T1"), NameCase::exact, firstAgain),
                 "files' times are read");
    check.expect(first < second, "an earlier time reads as less");
    check.expect(first == firstAgain, "an unchanged file reads the same time");
    check.expect(check.setTime("T2", 1000) && host.readModificationTime(check.at("T2"), NameCase::exact, second) &&
                     second == first,
                 "equal times read as equal");

    FileTime none;
    check.expect(!host.readModificationTime(check.at("NONE"), NameCase::exact, none), "a missing file has no time");
    host.makeDirectory(check.at("DIR"));
    check.expect(!host.readModificationTime(check.at("DIR"), NameCase::exact, none), "a directory has no file time");
    return check.take();
}

Failures removing(const CheckPlace& place) {
    Checker check(place);
    Host& host = check.host();
    if (!check.put("R.TMP", "r")) return check.take();
    check.expect(host.removeFile(check.at("R.TMP")), "a file is removed");
    check.expectText("R.TMP", kMissing, "after removing");
    check.expect(!host.removeFile(check.at("R.TMP")), "a missing file is not removed");
    host.makeDirectory(check.at("DIR"));
    check.expect(!host.removeFile(check.at("DIR")), "a directory is not removed");
    check.expect(check.put("DIR\\IN", "i"), "the directory is still there");
    return check.take();
}

constexpr std::array kChecks = {
    HostCheck{"appending", appending},
    HostCheck{"durableCreation", durableCreation},
    HostCheck{"replacing", replacing},
    HostCheck{"locking", locking},
    HostCheck{"lockingCreating", lockingCreating},
    HostCheck{"cuttingBack", cuttingBack},
    HostCheck{"modificationTimes", modificationTimes},
    HostCheck{"removing", removing},
};

}  // namespace

std::span<const HostCheck> hostChecks() { return kChecks; }

}  // namespace quill::testing
