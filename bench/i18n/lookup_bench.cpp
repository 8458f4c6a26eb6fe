// Lookups per second through the translator against the C library's dgettext, on one catalogue
// of 10 000 entries made by msgfmt, hits and misses, in the same run.
#include <libintl.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "i18n/translator.h"
#include "platform/text/utf8.h"

namespace fs = std::filesystem;

namespace {
constexpr int kEntries = 10000;
constexpr int kRounds = 200000;

std::string Source(int i) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "Message number %05d of the relay console", i);
  return buffer;
}

// Seconds for the best of three runs of `rounds` calls.
double Best(const std::function<void(int)>& call, int rounds) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) call(i);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

std::size_t g_sink = 0;  // printed at the end, so the calls cannot be dropped
}  // namespace

int main() {
  const fs::path dir =
      fs::temp_directory_path() / ("comrelay-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir / "de" / "LC_MESSAGES");
  {
    std::ofstream po(dir / "bench.po");
    po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    for (int i = 0; i < kEntries; ++i) {
      po << "msgid \"" << Source(i) << "\"\nmsgstr \"Meldung Nummer " << i << " der Relaiskonsole\"\n\n";
    }
  }
  const std::string msgfmt = "msgfmt -o '" + (dir / "de" / "LC_MESSAGES" / "bench.mo").string() + "' '" +
                             (dir / "bench.po").string() + "'";
  if (std::system(msgfmt.c_str()) != 0) {
    std::fprintf(stderr, "msgfmt failed\n");
    return 1;
  }

  // Shuffled keys, so neither side profits from walking the table in order.
  std::vector<int> order(kEntries);
  for (int i = 0; i < kEntries; ++i) order[std::size_t(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  std::vector<std::string> hits;
  std::vector<std::string> misses;
  std::vector<std::u16string> wideHits;
  std::vector<std::u16string> wideMisses;
  for (int i : order) {
    hits.push_back(Source(i));
    misses.push_back(Source(i) + "!");
    wideHits.push_back(u"");
    wideMisses.push_back(u"");
    Utf8ToWide(hits.back(), wideHits.back());
    Utf8ToWide(misses.back(), wideMisses.back());
  }

  i18n::TTranslator translator((dir / "bench").string(), nullptr);
  translator.BindDomainDirectory("bench", dir.string());
  translator.SelectLanguage("de");
  i18n::TDomain& domain = translator.Domain("bench");

  setenv("LANGUAGE", "de", 1);
  std::setlocale(LC_ALL, "C.UTF-8");
  bindtextdomain("bench", dir.c_str());
  const std::string peerCheck = dgettext("bench", hits[0].c_str());
  const std::string ourCheck = domain.Lookup(hits[0]);
  if (peerCheck == hits[0] || ourCheck != peerCheck) {
    std::fprintf(stderr, "the two sides disagree: dgettext \"%s\", ours \"%s\"\n", peerCheck.c_str(),
                 ourCheck.c_str());
    return 1;
  }

  auto rate = [](double seconds) { return kRounds / seconds; };
  const double peerHits = rate(
      Best([&](int i) { g_sink += std::strlen(dgettext("bench", hits[std::size_t(i % kEntries)].c_str())); },
           kRounds));
  const double peerMisses = rate(Best(
      [&](int i) { g_sink += std::strlen(dgettext("bench", misses[std::size_t(i % kEntries)].c_str())); },
      kRounds));
  const double bytesHits =
      rate(Best([&](int i) { g_sink += domain.Lookup(hits[std::size_t(i % kEntries)]).size(); }, kRounds));
  const double bytesMisses =
      rate(Best([&](int i) { g_sink += domain.Lookup(misses[std::size_t(i % kEntries)]).size(); }, kRounds));
  const double wideHitRate = rate(Best(
      [&](int i) {
        g_sink += translator.TranslateInDomain("bench", wideHits[std::size_t(i % kEntries)]).size();
      },
      kRounds));
  const double wideMissRate = rate(Best(
      [&](int i) {
        g_sink += translator.TranslateInDomain("bench", wideMisses[std::size_t(i % kEntries)]).size();
      },
      kRounds));

  std::printf("catalogue: %d entries, %d lookups per run, best of 3\n", kEntries, kRounds);
  std::printf("%-34s %12s %12s\n", "", "hits/s", "misses/s");
  std::printf("%-34s %12.0f %12.0f\n", "dgettext (C library)", peerHits, peerMisses);
  std::printf("%-34s %12.0f %12.0f\n", "TDomain::Lookup (UTF-8 key)", bytesHits, bytesMisses);
  std::printf("%-34s %12.0f %12.0f\n", "TTranslator::TranslateInDomain", wideHitRate, wideMissRate);
  std::printf("ratio Lookup / dgettext:            hits %.2f  misses %.2f\n", bytesHits / peerHits,
              bytesMisses / peerMisses);
  std::printf("ratio TranslateInDomain / dgettext: hits %.2f  misses %.2f\n", wideHitRate / peerHits,
              wideMissRate / peerMisses);

  std::printf("(checksum %zu)\n", g_sink);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}
