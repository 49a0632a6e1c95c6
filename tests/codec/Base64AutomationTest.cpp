// clsBase64 called through the automation table, as script hosts call it:
// by name or dispatch id, with by-reference arrays written back.
#include <gtest/gtest.h>

#include "morvel/automation.h"
#include "morvel/clsBase64.h"
#include "support/FakeEnvironment.h"
#include "support/TempFolder.h"

namespace morvel::automation {
namespace {

using morvel::testing::ErrorOf;

TEST(Base64Automation, EncodesByNameAndDecodesByDispatchId) {
  clsBase64 codec;
  std::vector<Variant> encodeArgs{Variant(ByteArray(std::vector<uint8_t>{'a', 'b', 'c'}))};
  Variant text = Invoke(codec, "base64encode", encodeArgs);
  EXPECT_EQ(text.Get<String>(), u"YWJj");

  std::vector<Variant> decodeArgs{Variant(u"QUJD")};
  Variant bytes = Invoke(codec, 0x60030004, decodeArgs);
  EXPECT_EQ(bytes.Get<ByteArray>(), ByteArray(std::vector<uint8_t>{'A', 'B', 'C'}));
}

TEST(Base64Automation, SaveAndLoadByDispatchIdWriteTheArrayBack) {
  clsBase64 codec;
  const morvel::testing::TempFolder folder("morvel-codec-automation");
  String path = FromUtf8((folder / "saved.bin").string());
  std::vector<Variant> saveArgs{Variant(path), Variant(ByteArray(std::vector<uint8_t>{1, 2, 3}))};
  Invoke(codec, 0x60030001, saveArgs);
  std::vector<Variant> loadArgs{Variant(path), Variant(ByteArray())};
  Invoke(codec, 0x60030000, loadArgs);
  EXPECT_EQ(loadArgs[1].Get<ByteArray>(), ByteArray(std::vector<uint8_t>{1, 2, 3}));
}

TEST(Base64Automation, ErrorsReachTheHost) {
  clsBase64 codec;
  std::vector<Variant> oneCharacter{Variant(u"Q")};
  EXPECT_EQ(ErrorOf([&] { Invoke(codec, "Base64Decode", oneCharacter); }), errors::InvalidUseOfNull);
  std::vector<Variant> none;
  EXPECT_EQ(ErrorOf([&] { Invoke(codec, "Base64Decode", none); }), errors::WrongArgumentCount);
  EXPECT_EQ(ErrorOf([&] { Invoke(codec, "Base64Decoder", oneCharacter); }), errors::NoSuchMember);
  EXPECT_EQ(ErrorOf([&] { Invoke(codec, 0x60030005, oneCharacter); }), errors::NoSuchMember);
}

TEST(Base64Automation, HostsCannotCreateItAndItRaisesEncodeJD) {
  const ClassInfo& cls = clsBase64Class();
  EXPECT_FALSE(cls.Creatable);
  ASSERT_EQ(cls.Events.size(), 1u);
  EXPECT_EQ(cls.Events[0].Name, "EncodeJD");
  EXPECT_EQ(cls.Events[0].DispId, 1);
}

}  // namespace
}  // namespace morvel::automation
