#include "platform/winsock/entries.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/winsock/winsock.h"

namespace winsock {
namespace {

// Builds the image in memory first, with pointers computed for its final place, then copies
// it in one go: the caller's buffer sees either the whole entry or nothing.
class TImage {
 public:
  explicit TImage(char* base) : base_(base) {}
  std::size_t Reserve(std::size_t bytes, std::size_t alignment) {
    std::size_t at = (bytes_.size() + alignment - 1) / alignment * alignment;
    bytes_.resize(at + bytes, 0);
    return at;
  }
  std::size_t String(const std::string& text) {
    const std::size_t at = Reserve(text.size() + 1, 1);
    std::memcpy(bytes_.data() + at, text.c_str(), text.size() + 1);
    return at;
  }
  // Computed as a number: the buffer may be null when only the size is wanted.
  char* Address(std::size_t offset) const {
    return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(base_) + offset);
  }
  template <class T>
  void Put(std::size_t offset, const T& value) {
    std::memcpy(bytes_.data() + offset, &value, sizeof value);
  }
  int Size() const { return int(bytes_.size()); }
  int CopyTo(int length) const {
    if (Size() <= length) std::memcpy(base_, bytes_.data(), bytes_.size());
    return Size();
  }

 private:
  char* base_;
  std::vector<char> bytes_;
};

}  // namespace

int LayOutHostEntry(const THostAnswer& answer, char* buffer, int length) {
  TImage image(buffer);
  const std::size_t entry = image.Reserve(sizeof(hostent), alignof(hostent));
  const std::size_t aliases = image.Reserve(sizeof(char*), alignof(char*));
  const std::size_t list = image.Reserve(sizeof(char*) * (answer.addresses.size() + 1), alignof(char*));
  const std::size_t addresses = image.Reserve(4 * answer.addresses.size(), 4);
  const std::size_t name = image.String(answer.name);
  for (std::size_t i = 0; i < answer.addresses.size(); ++i) {
    image.Put(addresses + 4 * i, answer.addresses[i]);
    image.Put(list + sizeof(char*) * i, image.Address(addresses + 4 * i));
  }
  hostent h{};
  h.h_name = image.Address(name);
  h.h_aliases = reinterpret_cast<char**>(image.Address(aliases));
  h.h_addrtype = AF_INET;
  h.h_length = 4;
  h.h_addr_list = reinterpret_cast<char**>(image.Address(list));
  image.Put(entry, h);
  return buffer != nullptr && length > 0 ? image.CopyTo(length) : image.Size();
}

int LayOutServiceEntry(const TServiceAnswer& answer, const std::string& protocol, char* buffer, int length) {
  TImage image(buffer);
  const std::size_t entry = image.Reserve(sizeof(servent), alignof(servent));
  const std::size_t aliases = image.Reserve(sizeof(char*), alignof(char*));
  const std::size_t name = image.String(answer.name);
  const std::size_t proto = image.String(protocol);
  servent s{};
  s.s_name = image.Address(name);
  s.s_aliases = reinterpret_cast<char**>(image.Address(aliases));
  s.s_port = std::int16_t(answer.portNet);
  s.s_proto = image.Address(proto);
  image.Put(entry, s);
  return buffer != nullptr && length > 0 ? image.CopyTo(length) : image.Size();
}

}  // namespace winsock
