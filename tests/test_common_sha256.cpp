// SHA-256 against the FIPS 180-4 examples and the lengths where the padding spills into a block
// of its own, whole and fed in pieces.
#include <gtest/gtest.h>

#include "common/sha256.h"

TEST(CommonSha256, GivesTheKnownDigestsWholeAndInPieces) {
    struct TCase {
        std::string text, digest;
    };
    const TCase cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopq"
         "rlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(63, 'x'), "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(sha256::Hex(c.text), c.digest) << c.text.size() << " bytes";
        // Fed in pieces of every size up to two blocks, read once on the way: the same.
        if (c.text.size() > 200) continue;
        for (std::size_t piece = 1; piece <= 130; ++piece) {
            sha256::TSha256 h;
            for (std::size_t at = 0; at < c.text.size(); at += piece) {
                h.Update(std::string_view(c.text).substr(at, piece));
                h.Digest();
            }
            ASSERT_EQ(h.Hex(), c.digest) << c.text.size() << " bytes in pieces of " << piece;
        }
    }
}
