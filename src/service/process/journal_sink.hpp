#pragma once
// Log records for the systemd journal, when the service runs as a unit whose standard error is the
// journal: each record on one line of standard error, led by its syslog priority ("<3>"), which
// journald strips and keeps as the record's priority.

#include <memory>

#include <spdlog/sinks/sink.h>

// True when standard error is the stream systemd named in JOURNAL_STREAM ("device:inode"), so a
// service started by hand with that variable inherited from a unit writes nothing extra.
bool stderrIsJournal();

std::shared_ptr<spdlog::sinks::sink> makeJournalSink();
