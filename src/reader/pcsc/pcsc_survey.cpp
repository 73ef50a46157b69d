#include "reader/pcsc/pcsc_survey.hpp"

namespace Orvane {
namespace {

std::string stateText(pcsc::Result result) {
    if (pcsc::isServiceGone(result)) return "pcscd not running";
    if (result == pcsc::kNoReadersAvailable) return "no reader";
    return pcsc::resultText(result);
}

// Whether a card is on each reader, asked without waiting.
void notePresence(pcsc::PcscApi& api, pcsc::Context context, std::vector<PcscSurveyedReader>& readers) {
    std::vector<pcsc::ReaderState> states;
    for (const PcscSurveyedReader& reader : readers)
        states.push_back({reader.name, pcsc::state::kUnaware, 0});
    const pcsc::Result result = api.getStatusChange(context, 0, states);
    if (result != pcsc::kSuccess) return;
    for (std::size_t i = 0; i < readers.size(); ++i)
        readers[i].card = (states[i].event & pcsc::state::kPresent) != 0;
}

}  // namespace

PcscSurvey surveyPcsc(pcsc::PcscApi* api) {
    PcscSurvey survey;
    if (api == nullptr) {
        survey.state = "no PC/SC on this device bus";
        return survey;
    }
    pcsc::Context context = 0;
    pcsc::Result result = api->establishContext(context);
    if (result != pcsc::kSuccess) {
        survey.state = stateText(result);
        return survey;
    }
    survey.running = true;
    std::vector<std::string> names;
    result = api->listReaders(context, names);
    if (result == pcsc::kSuccess && !names.empty()) {
        survey.state = "running";
        for (std::string& name : names)
            survey.readers.push_back({std::move(name), false});
        notePresence(*api, context, survey.readers);
    } else {
        survey.state = stateText(result == pcsc::kSuccess ? pcsc::kNoReadersAvailable : result);
        survey.running = !pcsc::isServiceGone(result);
    }
    api->releaseContext(context);
    return survey;
}

}  // namespace Orvane
