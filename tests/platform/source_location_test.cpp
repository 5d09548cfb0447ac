// Reducing compiler signatures to the Class::method names that log records carry.
#include <gtest/gtest.h>

#include "platform/source_location.h"

namespace {

struct Case {
    const char* signature;
    const char* expected;
};

const Case kCases[] = {
    {"int WinMain(HINSTANCE, HINSTANCE, LPSTR, int)", "WinMain"},
    {"DWORD Executor::exec()", "Executor::exec"},
    {"static DWORD Executor::ExecProcessWaitForFinish(const string&, const string&, int)",
     "Executor::ExecProcessWaitForFinish"},
    {"Executor::Executor(const string&)", "Executor::Executor"},
    {"std::string {anonymous}::makeMessage(const string&, const void*, DWORD)",
     "`anonymous-namespace'::makeMessage"},
    {"void {anonymous}::SysInfoImpl::initialize()", "`anonymous-namespace'::SysInfoImpl::initialize"},
    {"bool VersionDetails::Parser::operator()(const char*) const", "VersionDetails::Parser::operator()"},
    {"bool operator<(const VersionDetails::Base&, const VersionDetails::Base&)", "operator<"},
    {"std::vector<std::pair<int, int> > ns::Holder<T>::items() const [with T = int]", "ns::Holder<T>::items"},
    {"std::map<std::__cxx11::basic_string<char>, int> settings_impl::Context::entries()",
     "settings_impl::Context::entries"},
    {"DllFunction<Signature>::operator Signature*() const [with Signature = int(int)]",
     "DllFunction<Signature>::operator Signature*"},
};

TEST(QualifiedFunctionName, TrimsSignaturesToQualifiedNames) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.signature);
        EXPECT_EQ(c.expected, qualifiedFunctionName(c.signature));
    }
}

struct Widget {
    std::string where() const { return TBX_FUNC; }
};

TEST(QualifiedFunctionName, MacroNamesTheEnclosingFunction) {
    EXPECT_EQ("`anonymous-namespace'::Widget::where", Widget().where());
}

}  // namespace
