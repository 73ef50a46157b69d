#pragma once
// Where a new UDP endpoint runs: the front end hands out its worker loops in turn, so endpoints
// spread over the workers like connections do. Declared without Asio, so that the session's headers
// stay free of it.

#include <functional>

namespace boost::asio {
class io_context;
}

// The loop for the next endpoint; an empty function means no loop is available (no endpoint opens).
using NextLoop = std::function<boost::asio::io_context&()>;
