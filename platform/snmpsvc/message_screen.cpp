#include "message_screen.h"

namespace snmpsvc {

namespace {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kObjectId = 0x06;
constexpr uint8_t kCounter32 = 0x41;
constexpr uint8_t kGauge32 = 0x42;
constexpr uint8_t kTimeTicks = 0x43;
constexpr uint8_t kSetRequest = 0xA3;

// A bounded reader of BER elements with one-byte tags.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }

  // Reads the next element's tag and contents; false when it does not fit.
  bool Next(uint8_t* tag, Reader* contents) {
    if (pos_ + 2 > size_) return false;
    *tag = data_[pos_];
    size_t length = data_[pos_ + 1];
    size_t at = pos_ + 2;
    if (length & 0x80) {
      const size_t bytes = length & 0x7F;
      if (bytes == 0 || bytes > 4 || at + bytes > size_) return false;
      length = 0;
      for (size_t i = 0; i < bytes; ++i) length = (length << 8) | data_[at + i];
      at += bytes;
    }
    if (length > size_ - at) return false;
    *contents = Reader(data_ + at, length);
    pos_ = at + length;
    return true;
  }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// True when every sub-identifier of the encoded identifier fits in 32 bits
// (the first octet, which carries two arcs, counts as one).
bool ArcsFit(const Reader& oid) {
  uint64_t arc = 0;
  for (size_t i = 0; i < oid.size(); ++i) {
    if (arc > (0xFFFFFFFFull >> 7)) return false;  // another 7 bits would overflow
    arc = (arc << 7) | (oid.data()[i] & 0x7F);
    if ((oid.data()[i] & 0x80) == 0) arc = 0;
  }
  return true;
}

bool SignedFits32(const Reader& value) {
  if (value.size() == 0 || value.size() > 8) return value.size() <= 8;
  int64_t number = (value.data()[0] & 0x80) ? -1 : 0;
  for (size_t i = 0; i < value.size(); ++i) number = (number << 8) | value.data()[i];
  return number >= INT32_MIN && number <= INT32_MAX;
}

bool UnsignedFits32(const Reader& value) {
  size_t i = 0;
  while (i < value.size() && value.data()[i] == 0) ++i;  // leading zero octets
  return value.size() - i <= 4;
}

int64_t IntegerOf(const Reader& value) {
  if (value.size() == 0 || value.size() > 8) return 0;
  int64_t number = (value.data()[0] & 0x80) ? -1 : 0;
  for (size_t i = 0; i < value.size(); ++i) number = (number << 8) | value.data()[i];
  return number;
}

void AppendElement(uint8_t tag, const std::vector<uint8_t>& contents, std::vector<uint8_t>* out) {
  out->push_back(tag);
  const size_t length = contents.size();
  if (length < 0x80) {
    out->push_back(static_cast<uint8_t>(length));
  } else {
    int bytes = length > 0xFFFFFF ? 4 : length > 0xFFFF ? 3 : length > 0xFF ? 2 : 1;
    out->push_back(static_cast<uint8_t>(0x80 | bytes));
    for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<uint8_t>(length >> (8 * i)));
  }
  out->insert(out->end(), contents.begin(), contents.end());
}

void AppendCopy(uint8_t tag, const Reader& contents, std::vector<uint8_t>* out) {
  AppendElement(tag, std::vector<uint8_t>(contents.data(), contents.data() + contents.size()), out);
}

constexpr uint8_t kResponse = 0xA2;
constexpr uint8_t kTooBig = 1;

}  // namespace

bool TooBigResponse(const uint8_t* response, size_t size, std::vector<uint8_t>* out) {
  Reader message(response, size);
  uint8_t tag = 0;
  Reader body(nullptr, 0), version(nullptr, 0), community(nullptr, 0), pdu(nullptr, 0);
  if (!message.Next(&tag, &body) || tag != kSequence) return false;
  if (!body.Next(&tag, &version) || tag != kInteger) return false;
  const int64_t protocol = IntegerOf(version);
  if (protocol != 0 && protocol != 1) return false;
  if (!body.Next(&tag, &community) || tag != kOctetString) return false;
  if (!body.Next(&tag, &pdu) || tag != kResponse) return false;
  Reader requestId(nullptr, 0), status(nullptr, 0), index(nullptr, 0), list(nullptr, 0);
  if (!pdu.Next(&tag, &requestId) || tag != kInteger) return false;
  if (!pdu.Next(&tag, &status) || !pdu.Next(&tag, &index)) return false;
  if (!pdu.Next(&tag, &list) || tag != kSequence) return false;
  std::vector<uint8_t> bindings;
  if (protocol == 0) {
    while (!list.AtEnd()) {
      Reader binding(nullptr, 0), name(nullptr, 0);
      if (!list.Next(&tag, &binding) || tag != kSequence) return false;
      if (!binding.Next(&tag, &name) || tag != kObjectId) return false;
      std::vector<uint8_t> pair;
      AppendCopy(kObjectId, name, &pair);
      pair.push_back(0x05);  // NULL
      pair.push_back(0x00);
      AppendElement(kSequence, pair, &bindings);
    }
  }
  std::vector<uint8_t> pduBody;
  AppendCopy(kInteger, requestId, &pduBody);
  AppendElement(kInteger, {kTooBig}, &pduBody);
  AppendElement(kInteger, {0}, &pduBody);
  AppendElement(kSequence, bindings, &pduBody);
  std::vector<uint8_t> messageBody;
  AppendCopy(kInteger, version, &messageBody);
  AppendCopy(kOctetString, community, &messageBody);
  AppendElement(kResponse, pduBody, &messageBody);
  out->clear();
  AppendElement(kSequence, messageBody, out);
  return true;
}

ScreenResult ScreenMessage(const uint8_t* data, size_t size) {
  ScreenResult result;
  Reader message(data, size);
  uint8_t tag = 0;
  Reader body(nullptr, 0), version(nullptr, 0), community(nullptr, 0), pdu(nullptr, 0);
  if (!message.Next(&tag, &body) || tag != kSequence) return result;
  if (!body.Next(&tag, &version) || tag != kInteger) return result;
  const int64_t protocol = IntegerOf(version);
  if (protocol != 0 && protocol != 1) return result;  // SNMPv1 and v2c only
  if (!body.Next(&tag, &community) || tag != kOctetString) return result;
  uint8_t pduTag = 0;
  if (!body.Next(&pduTag, &pdu)) return result;
  Reader requestId(nullptr, 0), second(nullptr, 0), third(nullptr, 0), list(nullptr, 0);
  if (!pdu.Next(&tag, &requestId) || tag != kInteger) return result;
  if (!pdu.Next(&tag, &second) || !pdu.Next(&tag, &third)) return result;
  if (!pdu.Next(&tag, &list) || tag != kSequence) return result;
  result.requestId = IntegerOf(requestId);
  for (int position = 1; !list.AtEnd(); ++position) {
    Reader binding(nullptr, 0), name(nullptr, 0), value(nullptr, 0);
    uint8_t valueTag = 0;
    if (!list.Next(&tag, &binding) || tag != kSequence) break;
    if (!binding.Next(&tag, &name) || tag != kObjectId) break;
    if (!ArcsFit(name)) {
      result.drop = true;
      return result;
    }
    if (!binding.Next(&valueTag, &value)) break;
    if (valueTag == kObjectId && !ArcsFit(value)) {
      result.drop = true;
      return result;
    }
    if (pduTag != kSetRequest) continue;
    const bool fits = valueTag == kInteger ? SignedFits32(value)
                      : (valueTag == kCounter32 || valueTag == kGauge32 || valueTag == kTimeTicks)
                          ? UnsignedFits32(value)
                          : true;
    if (!fits) result.oversizedValues.push_back(position);
  }
  return result;
}

}  // namespace snmpsvc
