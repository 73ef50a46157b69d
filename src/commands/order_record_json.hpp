#pragma once
// The e-purse order record as clients carry it between the two steps of a transaction:
//   {"number": hex(6), "money": n, "times": n,
//    "REQ": {"type", "oldBalance", "newBalance", "seq", "keyVer", "keyFlag", "bcdTime": hex(7),
//            "tmpAlg", "tmpKey": hex(<= 16), "limit", "tac", "mac"},
//    "Commit": {"tac", "mac"}}
// A number that does not fit its field is refused rather than cut: a money of 2^32 must not load 0.

#include <nlohmann/json.hpp>

#include "card/purse/order_record.hpp"

namespace order_record_json {

// Fills `record` from "number", "money" and "times", and from "REQ" when `withRequest`. 0: filled;
// -1: a field is missing or of another type; 1: a value does not fit (result 105 set in `reply`).
int read(const nlohmann::json& orderData, bool withRequest, Orvane::OrderRecord& record,
         nlohmann::json& reply);

// The record with "REQ", and "Commit" when `withCommit`.
nlohmann::json write(const Orvane::OrderRecord& record, bool withCommit);

}  // namespace order_record_json
