// Load and lookup of manifests from 1 KiB to 16 MiB. Bytes per second stay flat across the sizes
// when time grows linearly with the input.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/xml.h"

namespace {

using namespace pelorin;

constexpr std::string_view kPath = "最新版本/版本信息";
constexpr std::string_view kFields[] = {"版本号", "升级说明", "下载地址", "文件标题", "文件名"};

// A manifest of about `size` bytes: declaration, then filler siblings with attributes, text,
// comments and references, and the version element last so the lookup walks every sibling.
std::string Manifest(std::size_t size) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<最新版本>\r\n";
  const std::string tail =
      "<版本信息 版本号=\"1.4\" 升级说明=\"修正错误#HHF提高速度 &quote;新&quote;\" "
      "下载地址=\"http://update.pelorin.example/QTVAR/pelorin.exe?v=1.4\" "
      "文件标题=\"Pelorin 1.4\" 文件名=\"pelorin.exe\"/>\r\n</最新版本>\r\n";
  std::string doc = head;
  for (std::uint64_t i = 0; doc.size() + tail.size() < size; ++i) {
    doc += "<!-- 条目 -->\r\n<条目 序号=\"" + std::to_string(i) +
           "\" 名称=\"附加内容 &amp; 说明\">文字 <![CDATA[ <x> ]]></条目>\r\n";
  }
  return doc + tail;
}

void BM_LoadAndLookup(benchmark::State& state) {
  const std::string bytes = Manifest(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    xml::Document doc;
    if (!xml::load(doc, bytes)) {
      state.SkipWithError("manifest rejected");
    }
    for (std::string_view field : kFields) {
      benchmark::DoNotOptimize(xml::read_attribute(doc, kPath, field));
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
}

// The hostile shape: one element nested inside the previous, as deep as the size allows.
void BM_LoadDeepNesting(benchmark::State& state) {
  const std::size_t depth = static_cast<std::size_t>(state.range(0)) / 7;
  std::string bytes;
  for (std::size_t i = 0; i < depth; ++i) {
    bytes += "<a>";
  }
  for (std::size_t i = 0; i < depth; ++i) {
    bytes += "</a>";
  }
  for (auto _ : state) {
    xml::Document doc;
    if (!xml::load(doc, bytes)) {
      state.SkipWithError("document rejected");
    }
    benchmark::DoNotOptimize(doc.loaded());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (std::int64_t size : {1 << 10, 1 << 14, 1 << 18, 1 << 22, 1 << 24}) {
    b->Arg(size);
  }
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_LoadAndLookup)->Apply(Sizes);
BENCHMARK(BM_LoadDeepNesting)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
