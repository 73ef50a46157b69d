#include "commands/entry/rf_reader_one.hpp"

#include "card/cpu/cos7816.hpp"
#include "card/cpu/cos_fm2.hpp"
#include "card/cpu/cpu_cos_typea.hpp"
#include "card/cpu/cpu_cos_typeb.hpp"
#include "card/icode/rf_icode_sli.hpp"
#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/iso14443b/rf_iso14443b.hpp"
#include "card/iso15693/rf_iso15693.hpp"
#include "card/mifare/mifare_classic.hpp"
#include "card/mifare/rf_mifare_classic.hpp"
#include "card/page_tag/page_tag_type_a.hpp"
#include "card/page_tag/rf_page_tag_type_a.hpp"
#include "card/pcsc/pcsc_mifare_classic.hpp"
#include "card/pcsc/pcsc_page_tag.hpp"
#include "card/pcsc/pcsc_type_a.hpp"
#include "card/purse/cos_pboc2.hpp"
#include "commands/entry/entry_type_gate.hpp"
#include "commands/entry/exchange_locked_type_a.hpp"
#include "commands/entry/reader_in_use.hpp"
#include "commands/key_provider/provider_wait.hpp"
#include "reader/pcsc/pcsc_reader.hpp"

namespace {

std::shared_ptr<FinderState> finderFor(const std::shared_ptr<RfReader>& reader) {
    // The alias keeps the reader, and with it the mutex, alive as long as a task holds the state.
    RfReader* raw = reader.get();
    return std::make_shared<FinderState>(
        std::shared_ptr<std::mutex>(reader, &reader->exchangeMutex()), [raw] { return raw->deviceLost(); },
        FinderState::EdgeWait{[raw] { return raw->edgeTriggered(); },
                              [raw](std::uint32_t ms) { return raw->waitCardChange(ms); },
                              [raw] { raw->cancelCardWait(); }});
}

}  // namespace

RfReaderOne::RfReaderOne(ChannelRef session, std::uint8_t devType)
    : session_(std::move(session)), reader_(std::make_shared<RfReader>()), finder_(finderFor(reader_)) {
    reader_->setType(devType);
}

RfReaderOne::~RfReaderOne() {
    stopFindTask();
    finder_->hold.drop();  // lets go of the card objects its rest step holds
    // Only this session's requests: other clients' secured commands go on.
    if (const ChannelPtr session = session_.lock()) cancelProviderWaits(session.get());
    auto exchange = lockExchange();
    closeReader();
    icodeSli_.reset();
    iso15693_.reset();
    iso14443B_.reset();
    pageTagTypeA_.reset();
    pageTagReader_.reset();
    mifareClassic_.reset();
    cosPboc2_.reset();
    cosFm2_.reset();
    cos7816_.reset();
    cpuCosTypeB_.reset();
    cpuCosTypeA_.reset();
    mifareReader_.reset();
    pcscTypeA_.reset();
    iso14443A_.reset();
    finder_->finder = CardFinder{};
}

int RfReaderOne::openReader(bool flag) {
    ReaderInUse& registry = ReaderInUse::process();
    readerType_ = kReaderNone;
    // The entry's own claim stays through a reopen: letting go of it first would let another entry
    // take the type while this entry's device is still open. No lock is held while devices are
    // opened and handshaken: the claims alone keep other entries off them.
    EntryTypeGate gate(registry, this);
    // A fixed type held elsewhere is refused before its device is touched. A detecting entry skips
    // the types others hold while it probes.
    if (!reader_->autoDetect() && reader_->type() != kReaderNone && !gate.admit(reader_->type())) {
        registry.releaseAll(this);
        return -1;
    }
    if (!reader_->open(flag, gate)) {
        // Nothing claimed stays behind: a later close must not release another entry's claim, nor
        // a find task start on a reader that is not open.
        registry.releaseAll(this);
        return gate.refusedAny() ? -1 : 0;
    }
    const ReaderDevice device = openedDevice();
    // A PC/SC reader is claimed now that the open knows its name; one another entry drives is
    // closed again untouched (only listed).
    if (device.type == kReaderPcsc && !registry.claim(device, this, EntryTypeGate::kInUseGrace)) {
        reader_->close();
        registry.releaseAll(this);
        return -1;
    }
    readerType_ = reader_->type();
    registry.keepOnly(this, device);
    // Detection may have found the other side of the PC/SC line: an enabled search goes on with
    // the searcher that reaches this reader's cards (the caller holds the exchange mutex).
    followReaderSide();
    if (finder_->finder.typeA.searcher) finder_->finder.typeA.searcher = typeAReader();
    return 1;
}

ReaderDevice RfReaderOne::openedDevice() const {
    if (reader_->type() == kReaderPcsc && reader_->pcscReader() != nullptr)
        return {kReaderPcsc, reader_->pcscReader()->readerName()};
    return {reader_->type(), {}};
}

void RfReaderOne::closeReader() {
    // The device is closed before the type is let go, so the next entry finds it closed.
    reader_->close();
    ReaderInUse::process().releaseAll(this);
    readerType_ = kReaderNone;
}

RfReaderOne::FindStart RfReaderOne::startFindTask(FindIdTask task) {
    stopFindTask();
    if (readerType_ == kReaderNone) return FindStart::notOpened;
    return finder_->start(std::move(task), session_) ? FindStart::started : FindStart::noResources;
}

std::shared_ptr<RfIso14443A> RfReaderOne::iso14443A() {
    if (!iso14443A_) iso14443A_ = std::make_shared<RfIso14443A>(reader_);
    return iso14443A_;
}

std::shared_ptr<PcscTypeA> RfReaderOne::pcscTypeA() {
    if (!pcscTypeA_) pcscTypeA_ = std::make_shared<PcscTypeA>(reader_);
    return pcscTypeA_;
}

std::shared_ptr<Orvane::IIso14443AReader> RfReaderOne::typeAReader() {
    if (usesPcsc()) return pcscTypeA();
    return iso14443A();
}

void RfReaderOne::followReaderSide() {
    if (pcscSide_ == usesPcsc()) return;
    pcscSide_ = usesPcsc();
    mifareReader_.reset();
    mifareClassic_.reset();
    pageTagReader_.reset();
    pageTagTypeA_.reset();
    cpuCosTypeA_.reset();
}

std::shared_ptr<Orvane::MifareClassic> RfReaderOne::mifareClassic() {
    followReaderSide();
    if (!mifareClassic_) {
        if (usesPcsc())
            mifareReader_ = std::make_shared<PcscMifareClassic>(pcscTypeA());
        else
            mifareReader_ = std::make_shared<RfMifareClassic>(iso14443A());
        mifareClassic_ = std::make_shared<Orvane::MifareClassic>(mifareReader_);
    }
    return mifareClassic_;
}

std::shared_ptr<Orvane::PageTagTypeA> RfReaderOne::pageTagTypeA() {
    followReaderSide();
    if (!pageTagTypeA_) {
        if (usesPcsc())
            pageTagReader_ = std::make_shared<PcscPageTag>(pcscTypeA());
        else
            pageTagReader_ = std::make_shared<RfPageTagTypeA>(iso14443A());
        pageTagTypeA_ = std::make_shared<Orvane::PageTagTypeA>(pageTagReader_);
    }
    return pageTagTypeA_;
}

std::shared_ptr<Orvane::CpuCosTypeA> RfReaderOne::cpuCosTypeA() {
    followReaderSide();
    if (!cpuCosTypeA_)
        cpuCosTypeA_ = std::make_shared<Orvane::CpuCosTypeA>(
            std::make_shared<ExchangeLockedTypeA>(typeAReader(), finder_));
    return cpuCosTypeA_;
}

std::shared_ptr<Orvane::CpuCosTypeB> RfReaderOne::cpuCosTypeB() {
    if (!cpuCosTypeB_) cpuCosTypeB_ = std::make_shared<Orvane::CpuCosTypeB>(iso14443B());
    return cpuCosTypeB_;
}

std::shared_ptr<Orvane::ICpuCosReader> RfReaderOne::cpuCos(std::uint64_t kind) {
    if (kind == 0) return cpuCosTypeA();
    if (kind == 1) return cpuCosTypeB();
    return nullptr;
}

std::shared_ptr<Orvane::Cos7816> RfReaderOne::cos7816(const std::shared_ptr<Orvane::ICpuCosReader>& card) {
    if (!cos7816_ || cos7816_->card() != card) cos7816_ = std::make_shared<Orvane::Cos7816>(card);
    return cos7816_;
}

std::shared_ptr<Orvane::CosFm2> RfReaderOne::cosFm2(const std::shared_ptr<Orvane::ICpuCosReader>& card) {
    if (!cosFm2_ || cosFm2_->card() != card) cosFm2_ = std::make_shared<Orvane::CosFm2>(card);
    return cosFm2_;
}

std::shared_ptr<Orvane::CosPboc2> RfReaderOne::cosPboc2(const std::shared_ptr<Orvane::ICpuCosReader>& card) {
    if (!cosPboc2_ || cosPboc2_->card() != card) cosPboc2_ = std::make_shared<Orvane::CosPboc2>(card);
    return cosPboc2_;
}

std::shared_ptr<RfIso14443B> RfReaderOne::iso14443B() {
    if (!iso14443B_) iso14443B_ = std::make_shared<RfIso14443B>(reader_);
    return iso14443B_;
}

std::shared_ptr<RfIso15693> RfReaderOne::iso15693() {
    if (!iso15693_) iso15693_ = std::make_shared<RfIso15693>(reader_);
    return iso15693_;
}

std::shared_ptr<RfIcodeSli> RfReaderOne::icodeSli() {
    if (!icodeSli_) icodeSli_ = std::make_shared<RfIcodeSli>(iso15693());
    return icodeSli_;
}
