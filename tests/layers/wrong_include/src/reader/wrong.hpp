#pragma once
// A reader header reaching up into the command layer: the layer check must refuse it.
#include "commands/rf_work.hpp"
#include "reader/rf_reader.hpp"
