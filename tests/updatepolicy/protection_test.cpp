// Data protection and Base64 conversion of policy values, with the real system calls.
#include "updatepolicy/protection.h"

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/win_handles.h"

namespace {

std::vector<BYTE> protectRaw(std::vector<BYTE> plain) {
    DATA_BLOB in{static_cast<DWORD>(plain.size()), plain.data()};
    DATA_BLOB out{};
    EXPECT_TRUE(CryptProtectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
    LocalMemory<BYTE*> owner(out.pbData);
    return std::vector<BYTE>(out.pbData, out.pbData + out.cbData);
}

std::string errorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(ProtectionTest, ProtectedValuesReadBackInBothScopes) {
    for (uint32_t value : {0u, 1u, 0x01020304u, 0xFFFFFFFFu}) {
        for (bool machine : {false, true}) {
            SCOPED_TRACE(std::to_string(value) + (machine ? " machine" : " user"));
            std::vector<BYTE> protectedBytes = au::protectValue(value, machine);
            EXPECT_GT(protectedBytes.size(), 4u);
            EXPECT_EQ(value, au::unprotectValue(protectedBytes));
        }
    }
}

TEST(ProtectionTest, ProtectedDataOfAnotherSizeIsRefused) {
    EXPECT_EQ("decrypted data has wrong size",
              errorText([] { au::unprotectValue(protectRaw({1, 2, 3, 4, 5, 6, 7, 8})); }));
    EXPECT_EQ("decrypted data has wrong size", errorText([] { au::unprotectValue(protectRaw({1, 2, 3})); }));
}

TEST(ProtectionTest, BytesThatAreNotProtectedDataFailToDecrypt) {
    std::string text = errorText([] { au::unprotectValue({1, 2, 3, 4}); });
    EXPECT_EQ(0u, text.find("decryption failed, sysError=")) << text;
}

TEST(ProtectionTest, Base64HasNoLineBreaksAndRoundTrips) {
    std::vector<BYTE> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 7);
    std::string text = au::binary2string(bytes);
    EXPECT_EQ(400u, text.size());
    EXPECT_EQ(std::string::npos, text.find_first_of("\r\n"));
    EXPECT_EQ('\0', text.c_str()[text.size()]);
    EXPECT_EQ(bytes, au::string2binary(text));
    EXPECT_EQ("AQID", au::binary2string({1, 2, 3}));
    EXPECT_EQ(std::vector<BYTE>({1, 2, 3}), au::string2binary("AQID"));
}

TEST(ProtectionTest, EmptyInputsNeedNoSystemCall) {
    EXPECT_EQ("", au::binary2string({}));
    EXPECT_TRUE(au::string2binary("").empty());
}

TEST(ProtectionTest, TextThatIsNotBase64IsRefused) {
    std::string text = errorText([] { au::string2binary("!!!not base64!!!"); });
    EXPECT_EQ(0u, text.find("string2binary (phase1) failed, sysError=")) << text;
}

}  // namespace
