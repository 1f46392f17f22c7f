// Parsing a typical OPEN request into the request holder, beside a bare
// pugixml parse of the same text.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <string>

#include "display/request_holder.h"
#include "helpers/utf.h"
#include "support/test_support.h"

namespace {

using namespace korvane;

// Envelope, a TCP connection and 40 parameters, as a host sends it (UTF-16).
const std::u16string& OpenRequest() {
  static const std::u16string text = [] {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<ReceiptPrinterManager Version=\"1.0\">\r\n"
        "  <Type>CustomerDisplay</Type>\r\n  <Driver>QORD_KORVANE_10</Driver>\r\n  <Method>OPEN</Method>\r\n"
        "  <LogId>Till01</LogId>\r\n  <Connection>\r\n    <Type>TCP</Type>\r\n"
        "    <ConnectTimeout>2000</ConnectTimeout>\r\n    <ReadTimeout>3000</ReadTimeout>\r\n"
        "    <Address>127.0.0.1</Address>\r\n    <Port>9100</Port>\r\n  </Connection>\r\n  <Parameters>\r\n";
    const char* params[][2] = {{"HexLog", "false"},
                               {"FPType", "TCP"},
                               {"FPAddress", "127.0.0.1"},
                               {"FPPort", "9100"},
                               {"FPConnectTimeout", "2000"},
                               {"FPReadTimeout", "3000"},
                               {"FPProtocol", "JSON"},
                               {"Mode", "Display"},
                               {"Layout", "1"},
                               {"FontName", "Roboto"},
                               {"ShowTaxes", "True"},
                               {"LogoImage", "res:MSG_INFO"},
                               {"LogoImageUrl", ""},
                               {"IdleImage", "C:\\Images\\idle.png"},
                               {"IdleImageUrl", ""},
                               {"ReceiptImage", "receipt.png"},
                               {"ReceiptImageUrl", ""},
                               {"ThankyouImage", "thanks.png"},
                               {"ThankyouImageUrl", "https://example.invalid/thanks.png"},
                               {"IdleTimeout", "30"},
                               {"IdleText1", "Welcome"},
                               {"IdleText2", "Bienvenue \xE2\x82\xAC"},
                               {"ThankyouText1", "Thank you"},
                               {"ThankyouText2", "Merci"},
                               {"CloseText1", "Closed"},
                               {"CloseText2", "Next till please"},
                               {"ContentRatio", "fromimage"},
                               {"Language", "fr"},
                               {"ShowOnlyVideo", "false"},
                               {"IdleVideoUrl", ""},
                               {"ColorSurface", "#FFFFFF"},
                               {"ColorOnSurface", "#000000"},
                               {"ColorOnSurfaceVariant", "#444444"},
                               {"ColorPrimary", "#0055AA"},
                               {"ColorOnPrimary", "#FFFFFF"},
                               {"ColorPrimaryContainer", "#D0E4FF"},
                               {"ColorOnPrimaryContainer", "#001D36"},
                               {"ColorSecondary", "#535F70"},
                               {"ColorOnSecondary", "#FFFFFF"},
                               {"ColorOutlineVariant", "#C3C7CF"}};
    for (const auto& p : params) x += std::string("    <") + p[0] + ">" + p[1] + "</" + p[0] + ">\r\n";
    x += "  </Parameters>\r\n</ReceiptPrinterManager>\r\n";
    return platform::Utf8ToUtf16(x);
  }();
  return text;
}

void BM_HolderOpen(benchmark::State& state) {
  const std::u16string& text = OpenRequest();
  for (auto _ : state) {
    kCustomerDisplayHandler h;
    h.Deserialize(text, {dt_Open});
    benchmark::DoNotOptimize(h.Open().fIdleTimeout);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_HolderOpen);

// The same text, parsed by pugixml alone (it converts the UTF-16 itself).
void BM_PugixmlParse(benchmark::State& state) {
  const std::u16string& text = OpenRequest();
  for (auto _ : state) {
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size() * 2, pugi::parse_default | pugi::parse_comments,
                    pugi::encoding_utf16_le);
    benchmark::DoNotOptimize(doc.document_element());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_PugixmlParse);

// The holder again, with a settings file of 20 lines to read at every OPEN.
void BM_HolderOpenWithSettingsFile(benchmark::State& state) {
  {
    std::ofstream ini(kOpen::kSettingsFileName, std::ios::binary);
    ini << "[Display]\r\n";
    for (int i = 0; i < 18; ++i) ini << "unused" << i << "=value\r\n";
    ini << "FontName=Arial\r\n";
  }
  const std::u16string& text = OpenRequest();
  for (auto _ : state) {
    kCustomerDisplayHandler h;
    h.Deserialize(text, {dt_Open});
    benchmark::DoNotOptimize(h.Open().fFontName);
  }
  std::filesystem::remove(kOpen::kSettingsFileName);
}
BENCHMARK(BM_HolderOpenWithSettingsFile);

}  // namespace

// Runs in an empty temporary working directory, so that no settings file
// is read unless a benchmark writes one.
int main(int argc, char** argv) {
  const auto old = std::filesystem::current_path();
  const korvane::testing::TempDir dir;
  std::filesystem::current_path(dir.Path());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::current_path(old);
  return 0;
}
