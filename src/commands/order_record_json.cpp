#include "commands/order_record_json.hpp"

#include <algorithm>
#include <optional>

#include "crypto/hex.hpp"
#include "protocol/request_fields.hpp"
#include "protocol/result_codes.hpp"

using nlohmann::json;
using Orvane::OrderRecord;

namespace order_record_json {

namespace {

constexpr int kFilled = 0, kMissing = -1, kDoesNotFit = 1;

// Reads fields one after another and remembers the first failure.
class FieldReader {
  public:
    explicit FieldReader(const json& object) : object_(object) {}

    template <typename T>
    void unsignedInto(const char* name, T& out) {
        const auto value = uintField(object_, name);
        if (!value) return fail(kMissing);
        if (*value > std::numeric_limits<T>::max()) return fail(kDoesNotFit);
        out = static_cast<T>(*value);
    }

    void signedInto(const char* name, std::int64_t& out) {
        const auto value = intField(object_, name);
        if (!value) return fail(kMissing);
        out = *value;
    }

    // Hex of exactly `size` bytes (`exact`) or at most `size`; the length read goes to `length`.
    template <std::size_t N>
    void hexInto(const char* name, std::array<std::uint8_t, N>& out, bool exact,
                 std::uint8_t* length = nullptr) {
        const std::string* text = stringField(object_, name);
        if (text == nullptr) return fail(kMissing);
        const auto bytes = Orvane::hexDecode(*text, N);
        if (!bytes || (exact && bytes->size() != N)) return fail(kDoesNotFit);
        out.fill(0);
        std::copy(bytes->begin(), bytes->end(), out.begin());
        if (length != nullptr) *length = static_cast<std::uint8_t>(bytes->size());
    }

    int result() const { return result_; }

  private:
    // A missing field outranks a value that does not fit: the request is malformed either way.
    void fail(int why) {
        if (result_ == kFilled || why == kMissing) result_ = why;
    }

    const json& object_;
    int result_ = kFilled;
};

void readRequest(FieldReader& fields, OrderRecord& record) {
    fields.unsignedInto("type", record.type);
    fields.unsignedInto("oldBalance", record.oldBalance);
    fields.signedInto("newBalance", record.newBalance);
    fields.unsignedInto("seq", record.seq);
    fields.unsignedInto("keyVer", record.keyVer);
    fields.unsignedInto("keyFlag", record.keyFlag);
    fields.hexInto("bcdTime", record.bcdTime, true);
    fields.unsignedInto("tmpAlg", record.tmpAlg);
    fields.hexInto("tmpKey", record.tmpKey, false, &record.tmpKeyLen);
    fields.unsignedInto("limit", record.limit);
    fields.unsignedInto("tac", record.tac);
    fields.unsignedInto("mac", record.mac);
}

}  // namespace

int read(const json& orderData, bool withRequest, OrderRecord& record, json& reply) {
    record = OrderRecord{};
    FieldReader fields(orderData);
    fields.hexInto("number", record.number, true);
    fields.unsignedInto("money", record.money);
    fields.unsignedInto("times", record.times);
    int result = fields.result();
    if (withRequest && result != kMissing) {
        const json* request = field(orderData, "REQ");
        if (request == nullptr || !request->is_object()) return kMissing;
        FieldReader requestFields(*request);
        readRequest(requestFields, record);
        if (requestFields.result() != kFilled && result != kMissing) result = requestFields.result();
    }
    if (result == kDoesNotFit) setResult(reply, Result::kBadData);
    return result;
}

json write(const OrderRecord& record, bool withCommit) {
    json request = {{"type", record.type},
                    {"oldBalance", record.oldBalance},
                    {"newBalance", record.newBalance},
                    {"seq", record.seq},
                    {"keyVer", record.keyVer},
                    {"keyFlag", record.keyFlag},
                    {"bcdTime", Orvane::hexEncode(record.bcdTime)},
                    {"tmpAlg", record.tmpAlg},
                    {"tmpKey", Orvane::hexEncode(std::span(record.tmpKey).first(record.tmpKeyLen))},
                    {"limit", record.limit},
                    {"tac", record.tac},
                    {"mac", record.mac}};
    json order = {{"number", Orvane::hexEncode(record.number)},
                  {"money", record.money},
                  {"times", record.times},
                  {"REQ", std::move(request)}};
    if (withCommit) order["Commit"] = {{"tac", record.commitTac}, {"mac", record.commitMac}};
    return order;
}

}  // namespace order_record_json
