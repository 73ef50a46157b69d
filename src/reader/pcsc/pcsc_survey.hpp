#pragma once
// What /devices says about PC/SC (reader type 7): whether pcscd answers, and the readers it lists
// with whether a card is on each. Each call establishes its own context and releases it.

#include <string>
#include <vector>

#include "reader/pcsc/pcsc_api.hpp"

namespace Orvane {

struct PcscSurveyedReader {
    std::string name;
    bool card = false;  // a card is on the reader
};

struct PcscSurvey {
    bool running = false;  // pcscd answered
    std::string state;     // "running", "pcscd not running", "no reader", or what went wrong
    std::vector<PcscSurveyedReader> readers;
};

// `api` null: the bus has no PC/SC (a simulated bus).
PcscSurvey surveyPcsc(pcsc::PcscApi* api);

}  // namespace Orvane
