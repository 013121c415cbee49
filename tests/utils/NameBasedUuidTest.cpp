#include "utils/NameBasedUuid.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace trevalo {
namespace {

// The DNS namespace of RFC 4122 (6ba7b810-9dad-11d1-80b4-00c04fd430c8).
constexpr NameBasedUuid::Bytes kDnsNamespace = {0x6B, 0xA7, 0xB8, 0x10, 0x9D, 0xAD, 0x11, 0xD1,
                                                0x80, 0xB4, 0x00, 0xC0, 0x4F, 0xD4, 0x30, 0xC8};

// Known answers of other implementations, including names that fill one SHA-1 block exactly
// and spill over into a second.
TEST(NameBasedUuidTest, GivesTheStandardIdentifiers) {
  const std::pair<std::string, const char*> cases[] = {
      {"www.example.com", "2ED6657D-E927-568B-95E1-2665A8AEA6A2"},
      {"", "4EBD0208-8328-5D69-8C44-EC50939C0967"},
      {std::string(39, 'a'), "5824F981-4282-59D4-9716-ACB6D741350E"},
      {std::string(40, 'a'), "39F39C20-DB47-5131-8879-62F8F67F9014"},
      {std::string(200, 'z'), "157571A7-10C7-5D89-AC39-B7A9560E7FC8"}};
  for (const auto& [name, uuid] : cases)
    EXPECT_EQ(NameBasedUuid::make(kDnsNamespace, name), uuid) << name;
  EXPECT_NE(NameBasedUuid::make(NameBasedUuid::kPlacemarkNamespace, "www.example.com"),
            "2ED6657D-E927-568B-95E1-2665A8AEA6A2")
      << "the namespace counts";
}

}  // namespace
}  // namespace trevalo
