#pragma once
// GET /devices: the readers this machine offers and why one may not open, for a user to read.

#include <nlohmann/json.hpp>
#include <string>

#include "reader/survey/device_survey.hpp"

// The survey as the route answers it: "devices" (HID and USB readers), "ports" (serial ports) and
// "portGrabbers" (programs that take ports away). An entry this process may not open carries the
// hint of what to do. Any page may read it, as /status: it names no user.
nlohmann::json surveyJson(const Orvane::DeviceSurvey& survey);

// The route's body: the process's current device bus surveyed, rendered. The machine's /proc is
// looked at only behind the system bus.
std::string devicesBody();
