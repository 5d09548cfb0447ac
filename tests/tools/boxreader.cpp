// Reports the message boxes on the desktop, for the interactive tests: one line per visible dialog,
// "<caption>\t<text>" in UTF-8 with line breaks of the text written as "\n". Exits with the number of boxes.
//   boxreader <output file>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int got = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::wstring className(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM param) {
    auto* text = reinterpret_cast<std::wstring*>(param);
    if (_wcsicmp(className(child).c_str(), L"Static") == 0) {
        std::wstring t = windowText(child);
        if (!t.empty()) *text += t;
    }
    return TRUE;
}

BOOL CALLBACK collectBoxes(HWND window, LPARAM param) {
    auto* lines = reinterpret_cast<std::vector<std::string>*>(param);
    if (!IsWindowVisible(window) || className(window) != L"#32770") return TRUE;
    std::wstring text;
    EnumChildWindows(window, collectStaticText, reinterpret_cast<LPARAM>(&text));
    std::string line = utf8(windowText(window)) + "\t";
    for (char c : utf8(text)) {
        if (c == '\r') continue;
        if (c == '\n') line += "\\n";
        else line += c;
    }
    lines->push_back(line);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: boxreader <output file>\n", stderr);
        return -1;
    }
    std::vector<std::string> lines;
    EnumWindows(collectBoxes, reinterpret_cast<LPARAM>(&lines));
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) return -1;
    for (const std::string& line : lines) std::fprintf(out, "%s\n", line.c_str());
    std::fclose(out);
    return static_cast<int>(lines.size());
}
