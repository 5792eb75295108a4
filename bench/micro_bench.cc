// Micro-benchmarks of the library's hot paths.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "quarvel/quarvel.h"
#include "verify/pwanalysis_internal.h"
#include "search/rule_table.h"

namespace {

constexpr size_t kMillion = 1000000;

// A working folder with a million-word dictionary and a default
// environment, made once for all benchmarks.
class Fixture {
 public:
  static Fixture &Get() {
    static Fixture fixture;
    return fixture;
  }

  const std::vector<std::string> &words() const { return words_; }
  const std::string &word_list() const { return word_list_; }

 private:
  Fixture() {
    char templ[] = "/tmp/quarvel-bench-XXXXXX";
    dir_ = mkdtemp(templ);
    if (chdir(dir_.c_str()) != 0) std::abort();
    mkdir("conf", 0700);
    mkdir("dicts", 0700);

    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> length(4, 12), letter(0, 35);
    std::set<std::string> unique;
    while (unique.size() < kMillion) {
      std::string w;
      for (int i = length(rng); i > 0; --i) {
        const int c = letter(rng);
        w += static_cast<char>(c < 26 ? 'a' + c : '0' + c - 26);
      }
      unique.insert(w);
    }
    words_.assign(unique.begin(), unique.end());
    std::shuffle(words_.begin(), words_.end(), rng);
    word_list_ = dir_ + "/million.txt";
    std::ofstream out(word_list_);
    for (const std::string &w : words_) out << w << '\n';
    out.close();

    Quiet quiet;
    if (std::string(CreateDict(word_list_.c_str(), "./dicts/million")) != "RET_CD=0000")
      std::abort();
    // The default environment: the usual word lists when installed.
    std::string lists =
        "cat /usr/share/dict/american-english /usr/share/john/password.lst "
        "> default.txt 2>/dev/null";
    if (std::system(lists.c_str()) != 0 ||
        std::string(CreateDict("default.txt", "./dicts/default_dict")) != "RET_CD=0000") {
      CreateDict(word_list_.c_str(), "./dicts/default_dict");
    }
    std::ofstream("conf/quarvel.ini") << "[QUARVEL_RULE]\n";
    // Let the files age past the cache's quiet time.
    sleep(1);
    if (std::string(LoadConfigFile()).rfind("RET_CD=0000", 0) != 0) std::abort();
  }

  std::string dir_;
  std::string word_list_;
  std::vector<std::string> words_;

 public:
  // Sends the library's trace on standard output to /dev/null meanwhile.
  class Quiet {
   public:
    Quiet() : saved_(dup(1)) {
      std::fflush(stdout);
      FILE *null = std::fopen("/dev/null", "w");
      dup2(fileno(null), 1);
      std::fclose(null);
    }
    ~Quiet() {
      std::fflush(stdout);
      dup2(saved_, 1);
      close(saved_);
    }

   private:
    int saved_;
  };
};

void BM_FindPW_Hit(benchmark::State &state) {
  Fixture &f = Fixture::Get();
  PackedDict *pwp = PWOpen("./dicts/million", "rb");
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindPW(pwp, f.words()[i++ % f.words().size()].c_str()));
  }
  PWClose(pwp);
}
BENCHMARK(BM_FindPW_Hit);

void BM_FindPW_Miss(benchmark::State &state) {
  Fixture &f = Fixture::Get();
  PackedDict *pwp = PWOpen("./dicts/million", "rb");
  size_t i = 0;
  for (auto _ : state) {
    const std::string miss = f.words()[i++ % f.words().size()] + "#";
    benchmark::DoNotOptimize(FindPW(pwp, miss.c_str()));
  }
  PWClose(pwp);
}
BENCHMARK(BM_FindPW_Miss);

void BM_DictFindPW_MissWithSuffixes(benchmark::State &state) {
  Fixture::Get();
  SetPostFixCnt(static_cast<int>(state.range(0)));
  Fixture::Quiet quiet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DictFindPW("zq7x!vk", "./dicts/million"));
  }
  SetPostFixCnt(1);
}
BENCHMARK(BM_DictFindPW_MissWithSuffixes)->Arg(1)->Arg(2);

void BM_VerifyPW_DefaultEnvironment(benchmark::State &state) {
  Fixture::Get();
  const std::vector<std::string> passwords = {
      "password", "Tr0ub4dor&3", "qwertabc", "correct horse battery", "dr4g0n!", "Zx8#kq2mWp"};
  Fixture::Quiet quiet;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(VerifyPW(passwords[i++ % passwords.size()].c_str()));
  }
}
BENCHMARK(BM_VerifyPW_DefaultEnvironment);

// The heaviest settings: eight dictionaries (copies of the default one),
// reversed words, a hundred numeric suffixes and prefixes.
void WriteHeaviestConfiguration() {
  std::ofstream conf("conf/quarvel.ini");
  conf << "[QUARVEL_DICT]\n";
  for (int n = 1; n <= 7; ++n) {
    for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
      const std::string from = std::string("dicts/default_dict") + ext;
      const std::string to = "dicts/d" + std::to_string(n) + ext;
      std::ifstream in(from, std::ios::binary);
      std::ofstream(to, std::ios::binary) << in.rdbuf();
    }
    conf << "dict.file.prefix." << n << "=./dicts/d" << n << "\n";
  }
  conf << "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=2\n"
          "[QUARVEL_SEARCH]\nquarvel_search.pw_postfix_num=1\nquarvel_search.pw_prefix_num=1\n"
          "quarvel_search.pw_reverse=1\nquarvel_search.pw_min_rept=1\n";
  conf.close();
  sleep(1);  // past the cache's quiet time
}

void RestoreDefaultConfiguration() {
  std::ofstream("conf/quarvel.ini") << "[QUARVEL_RULE]\n";
  LoadConfigFile();
  SetUseReverse(0);
  SetPreFixCnt(0);
}

void BM_LoadConfigFile_EightDictionaries(benchmark::State &state) {
  Fixture::Get();
  WriteHeaviestConfiguration();
  for (auto _ : state) benchmark::DoNotOptimize(LoadConfigFile());
  RestoreDefaultConfiguration();
}
BENCHMARK(BM_LoadConfigFile_EightDictionaries)->Unit(benchmark::kMicrosecond);

// Passwords made of the characters that every substitution rule tests for,
// under the heaviest settings.
void BM_VerifyPW_WorstCase(benchmark::State &state) {
  Fixture::Get();
  WriteHeaviestConfiguration();
  Fixture::Quiet quiet;
  if (std::string(LoadConfigFile()).find("USE_DICT_CNT=8") == std::string::npos) std::abort();
  std::string password;
  const std::string pattern = "$0235141";
  while (password.size() < static_cast<size_t>(state.range(0))) {
    password += pattern[password.size() % pattern.size()];
  }
  for (auto _ : state) benchmark::DoNotOptimize(VerifyPW(password.c_str()));
  RestoreDefaultConfiguration();
}
BENCHMARK(BM_VerifyPW_WorstCase)->DenseRange(8, 40, 4)->Arg(64)->Arg(257);

void BM_Mangle_WholeRuleTable(benchmark::State &state) {
  const char *word = "p4$$w0rd12";
  for (auto _ : state) {
    for (size_t r = 0; quarvel::search::kRuleTable[r] != nullptr; ++r) {
      benchmark::DoNotOptimize(Mangle(word, quarvel::search::kRuleTable[r]));
    }
  }
  state.SetItemsProcessed(state.iterations() * quarvel::search::kRuleTableEntries);
}
BENCHMARK(BM_Mangle_WholeRuleTable);

void BM_CreateDict_Million(benchmark::State &state) {
  Fixture &f = Fixture::Get();
  Fixture::Quiet quiet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CreateDict(f.word_list().c_str(), "./dicts/rebuilt"));
  }
  state.SetItemsProcessed(state.iterations() * kMillion);
}
BENCHMARK(BM_CreateDict_Million)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
