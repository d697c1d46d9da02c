// Settings texts and command lines with what the Windows entries make of
// them. Our readers must give the same natively, and the differential test
// holds Windows itself (wine64) to these tables too.
#pragma once

#include <string>
#include <vector>

namespace Cases {

// The value of `key` in section General, as GetPrivateProfileStringA gives it.
struct Profile { const char* name; std::string text; std::string key; std::string value; };

inline std::vector<Profile> ProfileCases() {
    const std::string g = "[General]\n";
    const std::string longValue(1100, 'x');
    return {
        {"plain", g + "TargetFile=a.log*\n", "TargetFile", "a.log*"},
        {"CR only", "[General]\rA=1\rB=2", "B", "2"},
        {"blank lines", "\n\n[General]\n\n\r\n  \nA=1", "A", "1"},
        {"no final newline", g + "A=1", "A", "1"},
        {"empty file", "", "A", ""},
        {"case of names", "[gEnErAl]\ntargetfile=a", "TargetFile", "a"},
        {"blanks around", "  [ General ]  \n \t A \t = \t v w \v\f\n", "A", "v w"},
        {"text after header", "[General] trailing\nA=1", "A", "1"},
        {"header without bracket", "[General\nA=1", "A", ""},
        {"last bracket closes", "[Gen]eral]\nA=1\n[General]]\nA=2", "A", ""},
        {"other section", "[Other]\nA=1\n[General]\nB=2", "A", ""},
        {"before any header", "A=1\n[General]\nB=2", "A", ""},
        {"first section only", g + "A=1\n" + g + "B=2", "B", ""},
        {"first key wins", g + "A=1\nA=2", "A", "1"},
        {"comment", g + ";A=1\n  ;A=2\nA=3", "A", "3"},
        {"comment is a key", g + ";A=1", ";A", "1"},
        {"no equals sign", g + "A\nA=1", "A", ""},
        {"other key without value", g + "B\nA=1", "A", "1"},
        {"empty name", g + "=x\nA=1", "A", "1"},
        {"first equals sign", g + "A=b=c", "A", "b=c"},
        {"empty value", g + "A=\nA=2", "A", ""},
        {"missing key", g + "B=1", "A", ""},
        {"double quotes", g + "A=\" x \"", "A", " x "},
        {"single quotes", g + "A='x'", "A", "x"},
        {"one pair only", g + "A=\"\"x\"\"", "A", "\"x\""},
        {"unmatched quotes", g + "A=\"x'", "A", "\"x'"},
        {"lone quote", g + "A=\"", "A", "\""},
        {"quote inside", g + "A=x \"y\"", "A", "x \"y\""},
        {"empty quotes", g + "A=\"\"", "A", ""},
        {"NUL ends the value", g + std::string("A=ab\0cd\nB=1", 11), "A", "ab"},
        // Skipped on purpose, as Wine does; Windows would miss the header.
        {"byte-order mark", "\xEF\xBB\xBF[General]\nA=1", "A", "1"},
        {"bytes unchanged", g + "A=\xE9t\xE9\xFF\x80\x01\x1b[0m", "A", "\xE9t\xE9\xFF\x80\x01\x1b[0m"},
        {"DOS end-of-file mark", g + "A=\x1a x \x1a\n", "A", "x"},
        {"no-break space", g + "A=\xa0x\xa0\n", "A", "\xa0x\xa0"},
        {"long value cut", g + "A=" + longValue, "A", longValue.substr(0, 1023)},
        {"quoted long value", g + "A=\"" + longValue + "\"", "A", longValue.substr(0, 1023)},
    };
}

// The arguments after the program's name, as CommandLineToArgvW splits them.
struct CommandLine { std::string line; std::vector<std::string> arguments; };

inline std::vector<CommandLine> CommandLineCases() {
    return {
        {"Send ops \"No Changes on file a.log\"", {"Send", "ops", "No Changes on file a.log"}},
        {"  a\t\tb  ", {"a", "b"}},
        {"", {}},
        {"a \"\" b", {"a", "", "b"}},
        {"x a\"b c\"d", {"x", "ab cd"}},
        {"a \"unclosed text", {"a", "unclosed text"}},
        {"a C:\\dir\\x.log", {"a", "C:\\dir\\x.log"}},
        {"a \"C:\\dir\\\\\"", {"a", "C:\\dir\\"}},  // 2n backslashes: n, quote closes
        {"a \\\"x", {"a", "\"x"}},                  // 2n+1: n and a literal quote
        {"a \\\\\\\"x", {"a", "\\\"x"}},
        {"a \\\\\\\\\"x y\"", {"a", "\\\\x y"}},
        {"a b\\", {"a", "b\\"}},
        {"a\nb\vc\rd", {"a\nb\vc\rd"}},  // only blanks and tabs separate
        // runs of quotes: every third is literal; two in quotes end them
        {"\"a\"\"b\"", {"a\"b"}},
        {"\"a\"\"b c\"", {"a\"b", "c"}},
        {"\"\"\"a\"\"\"", {"\"a\""}},
        {"a\"\"\"b", {"a\"b"}},
        {"\"\"\"\"", {"\""}},
        {"\"a\\\"\" b\"", {"a\"", "b"}},
        // quotes inside a notice take part in the quoting
        {"Send ops \"File does not exist say \"hi\" now\"",
         {"Send", "ops", "File does not exist say hi now"}},
        {"Send ops \"Srv \"1\" [ No Changes on file x ]\"",
         {"Send", "ops", "Srv 1 [ No Changes on file x ]"}},
    };
}

}  // namespace Cases
