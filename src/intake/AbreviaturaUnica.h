#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tz::intake {

// A Windows-1252 text folded to one letter case (upper), for comparisons that ignore it:
// ASCII letters, the accented Latin-1 letters and Š/Œ/Ž/Ÿ.
std::string pliegaMayusculas(std::string_view text);

// A list of given codes whose membership ignores letter case. Kept as a hash set on the
// folded code, so a lookup costs the same however many codes were given.
class ListaCodigos {
  public:
    bool contiene(std::string_view code) const;
    void anade(std::string_view code);
    std::size_t size() const { return folded_.size(); }

    // Where the search along a series of candidate codes (named by `serie`) may resume: every
    // candidate an earlier search of that series passed over is given, and codes are only
    // ever added, so they need not be tried again. Starts at 0.
    int& reanuda(const std::string& serie) { return resume_[serie]; }

  private:
    std::unordered_set<std::string> folded_;
    std::unordered_map<std::string, int> resume_;
};

// The code to use for a proposed code of up to four characters, unique (letter case ignored)
// within `given`, which then holds it too:
//  - the proposal itself when it is not yet given;
//  - else its first three characters (all of it when shorter) followed by n = 1, 2, 3 … in
//    decimal, a candidate longer than four characters being cut to its first two and last two
//    characters (MATE → MAT1 … MAT9, MA10 … MA99, MA00 … MA09);
//  - once those are all taken, its first character followed by three digits (M000 … M999),
//    then four digits (0000 … 9999).
// The search always ends; only when all of these are taken is the proposal returned as it is.
std::string AbreviaturaUnica(std::string_view proposed, ListaCodigos& given);

}  // namespace tz::intake
