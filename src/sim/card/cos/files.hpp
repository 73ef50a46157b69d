#pragma once
// The card's file system (ISO/IEC 7816-4 §5.3): a tree of DFs under the MF, each holding EFs and
// its own key store. EFs are transparent or linear with fixed-size records; further structures
// (a purse file, say) are more ElementaryFile kinds, and creating or erasing files works on
// DedicatedFile::add / clear.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/card/cos/apdu.hpp"
#include "sim/card/cos/key_store.hpp"

namespace rfsim::cos {

// Who may read or update an EF, from the security state of its DF. `level` is the FM-style rule
// of personalised files: a right byte XY grants access while Y <= security level <= X (F0 always,
// EF never); the level is what the last successful VERIFY or EXTERNAL AUTHENTICATE set.
enum class Access : std::uint8_t { always, externalAuth, pin, authOrPin, never, level };

// Whether a right byte XY grants access at `level`.
constexpr bool rightGranted(std::uint8_t right, std::uint8_t level) {
    return (right & 0x0F) <= level && level <= (right >> 4);
}

// Secure messaging an EF insists on. A command may always use secure messaging (its MAC is then
// checked and the response carries one); `mac` and `encipher` files refuse plain commands, and on
// `encipher` files the command data and the response data are enciphered too.
enum class SmMode : std::uint8_t { none, mac, encipher };

struct AccessRules {
    Access read = Access::always;
    Access update = Access::always;
    SmMode sm = SmMode::none;
    // Personalised files may ask for secure messaging in one direction only.
    bool plainRead = false;
    bool plainUpdate = false;
    std::uint8_t readRight = 0xF0;  // with Access::level
    std::uint8_t updateRight = 0xF0;
    // Numbers of the secure-messaging keys of the DF to use; none: the DF's first one.
    std::optional<std::uint8_t> readKey = std::nullopt;
    std::optional<std::uint8_t> updateKey = std::nullopt;

    SmMode smFor(bool update) const { return (update ? plainUpdate : plainRead) ? SmMode::none : sm; }
    std::optional<std::uint8_t> keyFor(bool update) const { return update ? updateKey : readKey; }
};

enum class FileKind : std::uint8_t { dedicated, transparent, linearFixed, purse };

class DedicatedFile;

class CosFile {
  public:
    CosFile(FileKind kind, std::uint16_t fid) : kind_(kind), fid_(fid) {}
    virtual ~CosFile() = default;
    CosFile(const CosFile&) = delete;
    CosFile& operator=(const CosFile&) = delete;

    FileKind kind() const { return kind_; }
    std::uint16_t fid() const { return fid_; }
    DedicatedFile* parent() const { return parent_; }

  private:
    friend class DedicatedFile;
    FileKind kind_;
    std::uint16_t fid_;
    DedicatedFile* parent_ = nullptr;
};

class ElementaryFile : public CosFile {
  public:
    // `sfi` 1 to 30, or 0 for an EF without a short identifier.
    ElementaryFile(FileKind kind, std::uint16_t fid, std::uint8_t sfi, AccessRules rules)
        : CosFile(kind, fid), sfi(sfi), rules(rules) {}

    std::uint8_t sfi;
    AccessRules rules;
};

class TransparentEf : public ElementaryFile {
  public:
    TransparentEf(std::uint16_t fid, std::uint8_t sfi, AccessRules rules, Bytes content)
        : ElementaryFile(FileKind::transparent, fid, sfi, rules), content(std::move(content)) {}

    Bytes content;  // its size is the file's size
};

class RecordEf : public ElementaryFile {
  public:
    RecordEf(std::uint16_t fid, std::uint8_t sfi, AccessRules rules, std::size_t recordLength,
             std::size_t maxRecords)
        : ElementaryFile(FileKind::linearFixed, fid, sfi, rules),
          recordLength(recordLength),
          maxRecords(maxRecords) {}

    std::size_t recordLength;
    std::size_t maxRecords;
    std::vector<Bytes> records;  // record n is records[n - 1]
};

// What GET TRANSACTION PROVE gives back for a purse's last transaction: the MAC and TAC its
// completion answered (or computed), found by transaction type and the counter it used.
struct TransactionProof {
    bool present = false;
    std::uint8_t type = 0;
    std::uint16_t counter = 0;
    std::array<std::uint8_t, 4> mac{};
    std::array<std::uint8_t, 4> tac{};
};

// A purse (FM file type 2F): its balance and counters, worked on by purse commands only. FID 0001
// is the electronic deposit (ED), 0002 the electronic purse (EP). An ED's balance includes the
// overdraw credit: raising the limit raises the balance by as much.
class PurseEf : public ElementaryFile {
  public:
    PurseEf(std::uint16_t fid, std::uint8_t sfi, AccessRules rules)
        : ElementaryFile(FileKind::purse, fid, sfi, rules) {}

    std::uint32_t balance = 0;
    std::uint16_t onlineCounter = 0;   // loads, unloads, limit updates
    std::uint16_t offlineCounter = 0;  // purchases, cash withdrawals
    std::uint32_t overdrawLimit = 0;   // 3 bytes, ED only
    TransactionProof lastProof;
};

// An application blocked by APPLICATION BLOCK: for now (APPLICATION UNBLOCK lifts it) or for good.
enum class AppBlock : std::uint8_t { none, temporary, permanent };

class DedicatedFile : public CosFile {
  public:
    // `name` is the DF name (an AID), at most 16 bytes.
    DedicatedFile(std::uint16_t fid, Bytes name) : CosFile(FileKind::dedicated, fid), name(std::move(name)) {}

    // Takes the file in and returns it.
    template <typename File>
    File* add(std::unique_ptr<File> file) {
        File* raw = file.get();
        raw->parent_ = this;
        children_.push_back(std::move(file));
        return raw;
    }
    // Every file and key under this DF goes (ERASE DF).
    void clear() {
        children_.clear();
        keys = KeyStore{};
        used = 0;
    }

    CosFile* child(std::uint16_t fid) const;
    ElementaryFile* efBySfi(std::uint8_t sfi) const;
    // This DF or one below it whose name is `name`.
    DedicatedFile* findByName(std::span<const std::uint8_t> name);

    Bytes name;
    std::uint8_t version = 0;               // FCI 9F08
    Bytes issuerData;                       // FCI BF0C
    std::optional<std::uint8_t> recordSfi;  // FCI 88: the SFI of the DF's record file
    KeyStore keys;
    // Personalisation: the rights to create files in the DF and to erase it, and the room for
    // files created in it (none: not counted) with how much of it they take.
    std::uint8_t createRight = 0xF0;
    std::uint8_t eraseRight = 0xF0;
    std::optional<std::size_t> space;
    std::size_t used = 0;
    AppBlock block = AppBlock::none;

  private:
    std::vector<std::unique_ptr<CosFile>> children_;
};

}  // namespace rfsim::cos
