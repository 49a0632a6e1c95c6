// UTF-8 bytes of command text, appending byte arrays, pictures to and from
// image-file bytes.
#include "drivers/Conversions.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using testing::ExpectError;

class Module2Test : public testing::FakeEnvironment {};

TEST_F(Module2Test, StringToUtf8Bytes) {
  EXPECT_EQ(Module2::StringToUtf8Bytes(u"A"), ByteArray(std::vector<uint8_t>{0x41}));
  ByteArray chinese = Module2::StringToUtf8Bytes(u"条码打印");
  EXPECT_EQ(chinese.Size(), 12u);
  EXPECT_EQ(chinese[0], 0xE6);
  ByteArray none = Module2::StringToUtf8Bytes(u"");
  EXPECT_FALSE(none.IsAllocated());
  // A lone surrogate becomes U+FFFD, as the system conversion writes it.
  EXPECT_EQ(Module2::StringToUtf8Bytes(String(1, char16_t(0xD800))), ByteArray(std::vector<uint8_t>{0xEF, 0xBF, 0xBD}));
  EXPECT_EQ(Module2::StringToUtf8Bytes(u"\U0001F600").Size(), 4u);
  EXPECT_EQ(Module2::StringToUtf8Bytes(String(1, u'\0')).Size(), 1u) << "an embedded NUL is kept";
}

TEST_F(Module2Test, AppendBytes) {
  ByteArray destination(std::vector<uint8_t>{1, 2, 3});
  ByteArray source(std::vector<uint8_t>{4, 5});
  Module2::AppendBytes(destination, source);
  EXPECT_EQ(destination, ByteArray(std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(destination.UBound(), 4);
  EXPECT_EQ(source.Size(), 2u);

  Module2::AppendBytes(destination, destination);  // onto itself
  EXPECT_EQ(destination.Size(), 10u);
  EXPECT_EQ(destination[9], 5);
}

TEST_F(Module2Test, AppendBytesUnallocatedRaises9AndChangesNothing) {
  ByteArray destination(std::vector<uint8_t>{1});
  ByteArray unallocated;
  ExpectError(errors::SubscriptOutOfRange, [&] { Module2::AppendBytes(destination, unallocated); });
  EXPECT_EQ(destination.Size(), 1u);
  ExpectError(errors::SubscriptOutOfRange, [&] { Module2::AppendBytes(unallocated, destination); });
  EXPECT_FALSE(unallocated.IsAllocated());
  ByteArray empty(std::vector<uint8_t>{});
  Module2::AppendBytes(destination, empty);  // allocated and empty is fine
  EXPECT_EQ(destination.Size(), 1u);
}

TEST_F(Module2Test, PictureFromBytesOfUnallocatedArrayShowsMessage) {
  ByteArray unallocated;
  EXPECT_EQ(Module2::PictureFromBytes(unallocated), nullptr);
  ASSERT_EQ(Fakes.Messages->Shown.size(), 1u);
  EXPECT_EQ(Fakes.Messages->Shown[0].second, "您给函数提供的是空数组!");
}

TEST_F(Module2Test, PictureFromBytesOfNoImageIsNoneWithoutMessage) {
  ByteArray garbage(std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  EXPECT_EQ(Module2::PictureFromBytes(garbage), nullptr);
  ByteArray empty(std::vector<uint8_t>{});
  EXPECT_EQ(Module2::PictureFromBytes(empty), nullptr);
  EXPECT_TRUE(Fakes.Messages->Shown.empty());
}

TEST_F(Module2Test, PictureRoundTripThroughBmp) {
  // 3 x 2, black and white: saved as a BMP and read back with the same pixels.
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 6; ++i) {
    uint8_t v = (i % 2) ? 255 : 0;
    rgba.insert(rgba.end(), {v, v, v, 255});
  }
  PictureRef picture = Picture::Create(3, 2, rgba);
  ByteArray bmp = Module2::PictureToBytes(picture);
  ASSERT_GE(bmp.Size(), 2u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  PictureRef back = Module2::PictureFromBytes(bmp);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Width(), 3);
  EXPECT_EQ(back->Height(), 2);
  EXPECT_EQ(back->Rgba(), rgba);

  PictureRef none;
  ExpectError(errors::ObjectNotSet, [&] { Module2::PictureToBytes(none); });
}

}  // namespace
}  // namespace morvel
