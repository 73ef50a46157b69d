#pragma once
// One reader slot of a session: owns its RfReader, opens and closes it under the process-wide
// reader-in-use registry, creates the card objects of that reader on first use and keeps them,
// holds the card finder and runs the find task.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "commands/entry/card_finder.hpp"
#include "commands/entry/find_task.hpp"
#include "commands/entry/reader_in_use.hpp"
#include "protocol/channel.hpp"
#include "reader/rf_reader.hpp"

class PcscTypeA;
class RfIcodeSli;
class RfIso14443A;
class RfIso14443B;
class RfIso15693;
class RfMifareClassic;
class RfPageTagTypeA;
namespace Orvane {
class Cos7816;
class CosFm2;
class CosPboc2;
class CpuCosTypeA;
class CpuCosTypeB;
class ICpuCosReader;
class IMifareClassicReader;
class IPageTagTypeAReader;
class MifareClassic;
class PageTagTypeA;
}  // namespace Orvane

class RfReaderOne {
  public:
    enum class FindStart { started, notOpened, noResources };

    // Builds the reader for `devType` (0: detect the type when opening); touches no device.
    RfReaderOne(ChannelRef session, std::uint8_t devType);
    // Stops the find task, closes the reader and releases the card objects.
    virtual ~RfReaderOne();
    RfReaderOne(const RfReaderOne&) = delete;
    RfReaderOne& operator=(const RfReaderOne&) = delete;

    // 1 opened; 0 failed; -1 the type is held by another entry (the reader is closed again).
    int openReader(bool flag);
    void closeReader();
    std::uint8_t readerType() const { return readerType_; }

    // Stops a running task first; notOpened when the reader is not open.
    FindStart startFindTask(FindIdTask task);
    void stopFindTask() { finder_->stop(); }
    void clearWaitAck() { finder_->clearWaitAck(); }

    // Keeps the find task off a card that a card command selected.
    CardHold& cardHold() { return finder_->hold; }

    // Use with the exchange lock held (lockExchange): a running task reads it every pass.
    CardFinder& cardFinder() { return finder_->finder; }
    int findAll(std::vector<CardId>& cards) { return finder_->finder.findAll(cards); }

    const std::shared_ptr<RfReader>& reader() const { return reader_; }
    // The reader's exchange mutex, taken for a command's reader work; a finder between passes
    // gives way to it.
    std::unique_lock<std::mutex> lockExchange() { return finder_->lockForCommand(); }
    // One card command at a time on the entry's card objects, for the whole command: they keep the
    // card's state and an I/O buffer of their own, and a command whose key the client holds runs
    // on a thread of its own while the session goes on with the next.
    std::unique_lock<std::mutex> lockCardWork() { return std::unique_lock(cardWork_); }

    // Card objects, created on first use and kept while the reader's type stays on the same side
    // of the PC/SC line: a PC/SC reader (type 7) gets objects that talk through pcscd, the frame
    // families the frame ones.
    std::shared_ptr<RfIso14443A> iso14443A();
    // The type A searcher and card of the reader's side: the PC/SC one or iso14443A().
    std::shared_ptr<Orvane::IIso14443AReader> typeAReader();
    // Over the Mifare block access of the reader's side (frame commands or PC/SC's storage-card set).
    std::shared_ptr<Orvane::MifareClassic> mifareClassic();
    // Over the page access of the reader's side.
    std::shared_ptr<Orvane::PageTagTypeA> pageTagTypeA();
    // Its exchanges take the exchange mutex one by one (see ExchangeLockedTypeA).
    std::shared_ptr<Orvane::CpuCosTypeA> cpuCosTypeA();
    std::shared_ptr<Orvane::CpuCosTypeB> cpuCosTypeB();
    // The CPU card of a kind: 0 type A, 1 type B, any other null.
    std::shared_ptr<Orvane::ICpuCosReader> cpuCos(std::uint64_t kind);
    // The command set over `card`, made again when the one kept was built on another card object.
    std::shared_ptr<Orvane::Cos7816> cos7816(const std::shared_ptr<Orvane::ICpuCosReader>& card);
    std::shared_ptr<Orvane::CosFm2> cosFm2(const std::shared_ptr<Orvane::ICpuCosReader>& card);
    std::shared_ptr<Orvane::CosPboc2> cosPboc2(const std::shared_ptr<Orvane::ICpuCosReader>& card);
    std::shared_ptr<RfIso14443B> iso14443B();
    std::shared_ptr<RfIso15693> iso15693();
    // Creates the entry's RfIso15693 first.
    std::shared_ptr<RfIcodeSli> icodeSli();

  private:
    // The device the open reader is, as the reader-in-use registry counts them.
    ReaderDevice openedDevice() const;
    bool usesPcsc() const { return reader_->type() == kReaderPcsc; }
    // Drops the card objects built for the other side of the PC/SC line.
    void followReaderSide();
    std::shared_ptr<PcscTypeA> pcscTypeA();

    ChannelRef session_;
    std::uint8_t readerType_ = kReaderNone;
    std::shared_ptr<RfReader> reader_;
    std::shared_ptr<FinderState> finder_;  // shared with a running find task
    std::mutex cardWork_;
    std::shared_ptr<RfIso14443A> iso14443A_;
    std::shared_ptr<PcscTypeA> pcscTypeA_;
    bool pcscSide_ = false;  // the card objects below were built for a PC/SC reader
    std::shared_ptr<Orvane::IMifareClassicReader> mifareReader_;
    std::shared_ptr<Orvane::IPageTagTypeAReader> pageTagReader_;
    std::shared_ptr<Orvane::MifareClassic> mifareClassic_;
    std::shared_ptr<Orvane::PageTagTypeA> pageTagTypeA_;
    std::shared_ptr<Orvane::CpuCosTypeA> cpuCosTypeA_;
    std::shared_ptr<RfIso14443B> iso14443B_;
    std::shared_ptr<Orvane::CpuCosTypeB> cpuCosTypeB_;
    std::shared_ptr<Orvane::Cos7816> cos7816_;
    std::shared_ptr<Orvane::CosFm2> cosFm2_;
    std::shared_ptr<Orvane::CosPboc2> cosPboc2_;
    std::shared_ptr<RfIso15693> iso15693_;
    std::shared_ptr<RfIcodeSli> icodeSli_;
};
