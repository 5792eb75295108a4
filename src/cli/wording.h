// The English of the quarvel command for the explanation codes of a result
// (quarvel/engine.h, "Explanations as data"): the stable names the JSON
// output uses, and the phrases check, explain and the JSON "text" fields
// share. Every phrase is made here from reason and step codes; nothing here
// reads the engine's own English (match.variant).
#ifndef QUARVEL_SRC_CLI_WORDING_H_
#define QUARVEL_SRC_CLI_WORDING_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "quarvel/engine.h"

namespace quarvel::cli {

// The stable names of the codes ("few_distinct", "read_as", "year"); "" for
// a code this version does not know.
std::string_view ReasonName(int code);
std::string_view StepName(int code);
std::string_view PieceName(int piece);

// The steps and reasons a record holds (none when its size ends before).
std::span<const quarvel_step> StepsOf(const quarvel_result &result);
std::span<const quarvel_reason> ReasonsOf(const quarvel_result &result);

// A piece for a person: "digits 12", "year 2024", "date 1987-06-14", "'!!'",
// "keyboard walk 'qwerty'", "sequence 'abcd'", "run 'aaaa'".
std::string PieceText(const quarvel_step &step);

// The steps in order, for a person, separated by ", ": "lower-cased, last 2
// characters removed"; "as given" when there is none. A rule step is told
// by its effects, and two cuts in a row from one end are one phrase ("digits
// 12 and '!!' cut from the end").
std::string StepsText(std::span<const quarvel_step> steps);

// What a dictionary is called: its configured prefix, or "slot N".
std::string DictionaryName(const quarvel_match &match);

// 3861 as "3,861".
std::string FormatGrouped(uint64_t value);

// The match for a person, from its kind, word and steps, for example
// "reversed form of the dictionary word 'dragon' without its suffix 12",
// "the dictionary word 'dragon' (capitalised, year 2024 cut from the end)",
// "keyboard walk 'qwerty', digits 12".
std::string DescribeMatch(const quarvel_result &result);

// A hit in a hashed list for a person: "seen 3,861 times in the
// leaked-password list 'breach'", and how the password became the listed
// text when it is not the password itself.
std::string BreachReason(const quarvel_result &result);

// Why the reason's points were lost, for a person: "only 3 distinct
// characters (fewer than 5)", "in dictionary ./dicts/default_dict: the
// dictionary word 'dragon' as given", "rated at most level 2 (the score gave
// 3)" ...
std::string ReasonText(const quarvel_result &result, const quarvel_reason &reason);

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_WORDING_H_
