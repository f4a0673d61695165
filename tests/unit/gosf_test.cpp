// ZqGOSF beyond the payload bytes: the progress window of every command;
// a cancel, a fault or a source that changes while read leaves the
// destination (or the signature file) as it was; the 64 KiB stepping gives
// what one call of GOSExec or GOSHash over the whole source gives; protected
// keys need their password; each command reads only the files it needs, and
// /CHECK asks nothing. Payloads against libgcrypt, OpenSSL and rhash are in
// gosf_interop_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "des_test_support.h"
#include "fault_test_support.h"
#include "frame/guard_hook.h"
#include "frame_test_support.h"
#include "gost_test_support.h"
#include "nccore21.h"
#include "platform/ui.h"
#include "testsupport/ui/scripted_ui.h"
#include "zq/gost_cipher.h"
#include "zq/gost_hash.h"

namespace nc::test {
namespace {

using gost::Bytes;
using platform::ScriptedUi;
using Event = ScriptedUi::ProgressEvent;

const std::string kOk = "ZQGOSF00: Операция выполнена успешно";
const std::string kCancelled = "ZQGOSF10: Пользователь прервал работу";
const std::string kReadError = "ZQGOSF02: Ошибка чтения файла: ";

Bytes Pattern(std::size_t size, std::uint32_t seed = 1) {
  Bytes bytes(size);
  std::uint32_t x = seed;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

Bytes Payload(const Bytes& file) {
  return file.size() < 48 ? Bytes() : Bytes(file.begin() + 48, file.end());
}

// The parameter and key files, made once for the suite: the block, an
// unprotected cipher key, 512-bit common numbers and a key pair.
enum KeyFile { kGtb, kGek, kPqa, kGsk, kGpk, kKeyFiles };
const char* const kKeyNames[kKeyFiles] = {"t.gtb", "k.gek", "n.pqa", "x.gsk", "y.gpk"};
const char* const kKeyOptions[kKeyFiles] = {"/BLK:", "/KEY:", "/PQA:", "/SECRET:", "/PUBLIC:"};

class GosfTest : public ::testing::Test {
 public:
  static std::string Key(KeyFile which) { return *keys_ / kKeyNames[which]; }

 protected:
  static void SetUpTestSuite() {
    keys_ = std::make_unique<TempFolder>();
    int code = -1;
    std::string text = CallOperation(ZqGOSC, "/NOLOGO " + Quoted(Key(kPqa)), &code);
    ASSERT_EQ(code, 0) << text;
    text = CallOperation(ZqGOSP,
                         "/NOLOGO /PQA:" + Quoted(Key(kPqa)) + " /SECRET:" + Quoted(Key(kGsk)) +
                             " /PUBLIC:" + Quoted(Key(kGpk)),
                         &code);
    ASSERT_EQ(code, 0) << text;
    text = CallOperation(ZqGOSK, "/NOLOGO " + Quoted(Key(kGek)), &code);
    ASSERT_EQ(code, 0) << text;
    gost::ImportText(gost::SampleFile("test_paramset"), Key(kGtb));
  }
  static void TearDownTestSuite() { keys_.reset(); }
  void SetUp() override { platform::SetUi(&ui_); }
  void TearDown() override {
    frame::SetGuardedFaultHookForTests(nullptr);
    platform::SetUi(nullptr);
  }

  // Source, destination, command, every key file option, and `more`.
  static std::string Job(const std::string& source, const std::string& destination,
                         const std::string& command, const std::string& more = "/NOLOGO") {
    std::string options = Quoted(source) + " " + Quoted(destination) + " " + command;
    for (int i = 0; i < kKeyFiles; ++i)
      options += std::string(" ") + kKeyOptions[i] + Quoted(Key(static_cast<KeyFile>(i)));
    return options + " " + more;
  }
  std::string Run(const std::string& options, int* code, void* parent = nullptr) {
    return CallOperation(ZqGOSF, options, code, parent);
  }
  int RunJob(const std::string& source, const std::string& destination, const std::string& command,
             const std::string& more = "/NOLOGO") {
    int code = -1;
    const std::string text = Run(Job(source, destination, command, more), &code);
    EXPECT_EQ(code == 0, text == Native(kOk)) << text;
    return code;
  }
  // The source of `size` bytes, its /GM ciphertext and its signature.
  void MakeFiles(std::size_t size) {
    WriteFileBytes(plain_, Pattern(size));
    ASSERT_EQ(RunJob(plain_, cipher_, "/GM", "/NOLOGO /Y"), 0);
    ASSERT_EQ(RunJob(plain_, sig_, "/SIGN", "/NOLOGO /Y"), 0);
  }
  std::vector<unsigned> Percents() const { return PercentsShown(ui_); }
  void AnswerPassword(const char* password) {
    using Action = ScriptedUi::CarrierAction;
    ui_.carrierScript = [password](const ScriptedUi::CarrierEvent& e) {
      if (e.kind != ScriptedUi::CarrierEvent::Open) return Action{};
      return Action{true, password, platform::kCarrierOk};
    };
  }

  static std::unique_ptr<TempFolder> keys_;
  ScriptedUi ui_;
  TempFolder folder_;
  const std::string plain_ = folder_ / "plain";
  const std::string cipher_ = folder_ / "cipher";
  const std::string sig_ = folder_ / "sig";
  const std::string out_ = folder_ / "out";
  const std::vector<std::string> made_ = {"cipher", "out", "plain", "sig"};
};
std::unique_ptr<TempFolder> GosfTest::keys_;

// ============================================================================
// The progress window
// ============================================================================

TEST_F(GosfTest, EveryCommandsWindowNamesBothFilesAndRisesTo100) {
  MakeFiles(200000);
  const std::string copy = folder_ / "copy";
  WriteFileBytes(copy, Pattern(200000));
  const std::string encrypting = "Зашифрование  исходного файла:\n     ",
                    intoCipher = "\nв файл шифртекста:\n     ",
                    intoHash = "\nи сохранение ее в файле:\n     ";
  const struct {
    std::string command, source, destination;
    int textId;
    std::string first, second;
  } cases[] = {
      {"/SR", plain_, out_, 2010, encrypting, intoCipher},
      {"/GM", plain_, out_, 2010, encrypting, intoCipher},
      {"/FG", plain_, out_, 2010, encrypting, intoCipher},
      {"/IMIT", plain_, out_, 2010, encrypting, intoCipher},
      {"/D", cipher_, out_, 2011, "Расшифрование  шифртекста из файла:\n     ",
       "\nв файл исходного текста:\n     "},
      {"/HASH", plain_, out_, 2012, "Вычисление хеш-функции исходного файла:\n     ", intoHash},
      {"/SIGN", plain_, out_, 2013, "Вычисление электронно-цифровой подписи файла:\n     ",
       intoHash},
      {"/CHECK", plain_, sig_, 2015, "Проверка  электронно-цифровой подписи файла:\n     ",
       "\nс полученной ЭЦП в файле:\n     "},
      {"/COMP", plain_, copy, 2014, "Сравнение содержимого файла:\n     ",
       "\nс содержимым файла:\n     "},
  };
  int parent = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ui_.progress.clear();
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y"), &code, &parent), Native(kOk));
    ASSERT_GE(ui_.progress.size(), 5u);
    EXPECT_EQ(ui_.progress[0].kind, Event::Open);
    EXPECT_EQ(ui_.progress[0].parent, &parent);
    EXPECT_EQ(ui_.progress[1].kind, Event::Caption);
    EXPECT_EQ(ui_.progress[1].text, Native("Файловый криптопроцессор ГОСТ"));
    EXPECT_EQ(ui_.progress[2].kind, Event::Description);
    EXPECT_EQ(ui_.progress[2].id, c.textId);
    EXPECT_EQ(ui_.progress[2].text, Native(c.first) + c.source + Native(c.second) + c.destination);
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
    // One window per job.
    EXPECT_EQ(std::count_if(ui_.progress.begin(), ui_.progress.end(),
                            [](const Event& e) { return e.kind == Event::Open; }),
              1);
    const std::vector<unsigned> percents = Percents();
    EXPECT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100u);

    ui_.progress.clear();
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y /NOLOGO"), &code), Native(kOk));
    EXPECT_TRUE(ui_.progress.empty());
  }
  EXPECT_TRUE(ui_.shown.empty());
}

// Cancelled at the second chunk: 10, an existing destination or the
// signature file keeps its bytes, and no temporary output is left beside
// it.
TEST_F(GosfTest, CancelLeavesTheDestinationAsItWas) {
  MakeFiles(200000);
  const Bytes signature = ReadFileBytes(sig_);
  ui_.cancelWhen = [this](const Event& e) {
    return e.kind == Event::Percent &&
           std::count_if(ui_.progress.begin(), ui_.progress.end(),
                         [](const Event& x) { return x.kind == Event::Percent; }) == 2;
  };
  const struct {
    std::string command, source, destination;
  } cases[] = {
      {"/GM", plain_, out_},   {"/D", cipher_, out_},    {"/HASH", plain_, out_},
      {"/SIGN", plain_, out_}, {"/CHECK", plain_, sig_},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    WriteFileText(out_, "keep");
    ui_.progress.clear();
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y"), &code), Native(kCancelled));
    EXPECT_EQ(code, 10);
    EXPECT_EQ(ReadFileText(out_), "keep");
    EXPECT_TRUE(ReadFileBytes(sig_) == signature);
    EXPECT_EQ(Percents().size(), 2u);
    ASSERT_FALSE(ui_.progress.empty());
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
    EXPECT_EQ(folder_.Names(), made_);
  }

  // Without an earlier destination nothing is left.
  std::filesystem::remove(out_);
  ui_.progress.clear();
  int code = -1;
  Run(Job(plain_, out_, "/SR", ""), &code);
  EXPECT_EQ(code, 10);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"cipher", "plain", "sig"}));
}

// ============================================================================
// The chunks the primitives get
// ============================================================================

// The cipher context every job starts from: the .GEK's 8 words, the .GTB's
// block and the synchro "    KLBNVRzz".
GOSCipherContext CipherContext(std::uint32_t operation, std::uint32_t mode) {
  const Bytes gek = ReadFileBytes(GosfTest::Key(kGek)), gtb = ReadFileBytes(GosfTest::Key(kGtb));
  GOSCipherContext context{};
  EXPECT_EQ(gek.size(), 84u);
  EXPECT_EQ(gtb.size(), 116u);
  if (gek.size() != 84 || gtb.size() != 116) return context;
  context.size = sizeof context;
  context.key.count = kGosKeyWords;
  std::memcpy(context.key.words, &gek[52], 32);
  context.substitution.count = kGosSubstitutionWords;
  std::memcpy(context.substitution.words, &gtb[52], 64);
  std::memcpy(context.synchro, "    KLBNVRzz", 12);
  context.operation = operation;
  context.mode = mode;
  return context;
}

// One call over the whole message: the enciphered bytes (simple replacement
// over the zero-padded message), or the 8 bytes of the imitation insert.
Bytes WholeExec(std::uint32_t operation, std::uint32_t mode, Bytes data) {
  GOSCipherContext context = CipherContext(operation, mode);
  if (mode == kGosSimpleReplacement) data.resize((data.size() + 7) / 8 * 8, 0);
  data.reserve(8);  // a buffer even for the empty message
  EXPECT_EQ(GOSExec(data.data(), static_cast<std::uint32_t>(data.size()), &context), kGosExecOk);
  return operation == kGosImitation ? Bytes(context.mac, context.mac + 8) : data;
}

Bytes WholeHash(const Bytes& data) {
  const Bytes gtb = ReadFileBytes(GosfTest::Key(kGtb));
  GOSHashContext context{};
  context.size = sizeof context;
  context.substitution.count = kGosSubstitutionWords;
  std::memcpy(context.substitution.words, &gtb[52], 64);
  GOSHash(data.data(), static_cast<std::uint32_t>(data.size()), &context);
  GOSHashComplete(&context);
  return Bytes(context.hash, context.hash + 32);
}

TEST_F(GosfTest, TheChunkedJobGivesWhatOneCallOverTheWholeSourceGives) {
  for (std::size_t size : {0u, 1u, 8u, 65535u, 65536u, 65537u, 200003u}) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    const Bytes plain = Pattern(size, static_cast<std::uint32_t>(size) + 5);
    WriteFileBytes(plain_, plain);
    const struct {
      const char* command;
      std::uint32_t operation, mode;
    } cases[] = {
        {"/SR", kGosEncipher, kGosSimpleReplacement},
        {"/GM", kGosEncipher, kGosGamma},
        {"/FG", kGosEncipher, kGosFeedbackGamma},
        {"/IMIT", kGosImitation, kGosNoMode},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.command);
      ASSERT_EQ(RunJob(plain_, out_, c.command, "/NOLOGO /Y"), 0);
      EXPECT_TRUE(Payload(ReadFileBytes(out_)) == WholeExec(c.operation, c.mode, plain));
    }
    ASSERT_EQ(RunJob(plain_, out_, "/HASH", "/NOLOGO /Y"), 0);
    EXPECT_EQ(gost::ToHex(Payload(ReadFileBytes(out_))), gost::ToHex(WholeHash(plain)));
  }
}

// ============================================================================
// Protected keys
// ============================================================================

// A .GEK and a .GSK made behind a password: the carrier dialog asks for it
// again; a wrong one is an integrity failure of the key file (31 and its
// name) and a quiet job cannot ask (25). Failures write nothing.
TEST_F(GosfTest, ProtectedKeysNeedTheirPassword) {
  const std::string gek = folder_ / "p.gek", gsk = folder_ / "p.gsk", gpk = folder_ / "p.gpk";
  AnswerPassword("secret");
  int code = -1;
  CallOperation(ZqGOSK, Quoted("PWD:" + gek), &code);
  ASSERT_EQ(code, 0);
  CallOperation(
      ZqGOSP,
      "/PQA:" + Quoted(Key(kPqa)) + " /SECRET:" + Quoted("PWD:" + gsk) + " /PUBLIC:" + Quoted(gpk),
      &code);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(HeaderOf(ReadFileBytes(gek)).protectionCode, 1u);
  ASSERT_EQ(HeaderOf(ReadFileBytes(gsk)).protectionCode, 1u);

  const Bytes plain = Pattern(5000);
  WriteFileBytes(plain_, plain);
  const std::string keys = " /BLK:" + Quoted(Key(kGtb)) + " /KEY:" + Quoted(gek) +
                           " /PQA:" + Quoted(Key(kPqa)) + " /SECRET:" + Quoted(gsk) +
                           " /PUBLIC:" + Quoted(gpk) + " /Y";
  auto job = [&](const std::string& source, const std::string& destination, const char* command) {
    return Quoted(source) + " " + Quoted(destination) + " " + command + keys;
  };
  const auto opened = [this] {
    const auto events = ui_.CarrierEvents();
    return std::count_if(events.begin(), events.end(), [](const ScriptedUi::CarrierEvent& e) {
      return e.kind == ScriptedUi::CarrierEvent::Open;
    });
  };
  const auto generated = opened();
  EXPECT_EQ(Run(job(plain_, cipher_, "/SR"), &code), Native(kOk));
  EXPECT_EQ(Run(job(cipher_, out_, "/D"), &code), Native(kOk));
  EXPECT_TRUE(ReadFileBytes(out_) == plain);
  EXPECT_EQ(Run(job(plain_, sig_, "/SIGN"), &code), Native(kOk));
  EXPECT_EQ(Run(job(plain_, sig_, "/CHECK"), &code), Native(kOk));
  // The dialog was shown for each protected key read: /SR, /D, /SIGN.
  EXPECT_EQ(opened() - generated, 3);

  const std::string integrity = "ZQGOSF31: Нарушение целостности данных файла:  ";
  const std::string hardware = "ZQGOSF25: Ошибка при чтении параметров аппаратуры";
  const struct {
    const char* command;
    std::string source;
    const char* quiet;
    std::string text;
  } cases[] = {
      {"/SR", plain_, "", integrity + gek},   {"/D", cipher_, "", integrity + gek},
      {"/SIGN", plain_, "", integrity + gsk}, {"/SR", plain_, " /NOLOGO", hardware},
      {"/D", cipher_, " /NOLOGO", hardware},  {"/SIGN", plain_, " /NOLOGO", hardware},
  };
  AnswerPassword("secreT");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + c.quiet);
    WriteFileText(out_, "keep");
    const auto before = opened();
    EXPECT_EQ(Run(job(c.source, out_, c.command) + c.quiet, &code), Native(c.text));
    EXPECT_EQ(opened() - before, *c.quiet == '\0' ? 1 : 0);
    EXPECT_EQ(ReadFileText(out_), "keep");
  }
  EXPECT_EQ(folder_.Names(),
            (std::vector<std::string>{"cipher", "out", "p.gek", "p.gpk", "p.gsk", "plain", "sig"}));
}

// ============================================================================
// Faults and changing sources
// ============================================================================

TEST_F(GosfTest, AFaultInTheMiddleOfAJobLeavesNoOutput) {
  MakeFiles(300000);
  const Bytes signature = ReadFileBytes(sig_);
  const struct {
    std::string command, source, destination;
  } cases[] = {
      {"/FG", plain_, out_},   {"/D", cipher_, out_},   {"/IMIT", plain_, out_},
      {"/HASH", plain_, out_}, {"/SIGN", plain_, out_}, {"/CHECK", plain_, sig_},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    WriteFileText(out_, "keep");
    ui_.progress.clear();
    g_faultPoints = 0;
    frame::SetGuardedFaultHookForTests(FaultAtTheThirdPoint);
    int code = -1;
    const std::string text = Run(Job(c.source, c.destination, c.command, "/Y"), &code);
    frame::SetGuardedFaultHookForTests(nullptr);
    EXPECT_EQ(code, 33);
    EXPECT_EQ(text, Native("ZQGOSF33: Возникло необработанное исключение"));
    EXPECT_EQ(ReadFileText(out_), "keep");
    EXPECT_TRUE(ReadFileBytes(sig_) == signature);
    EXPECT_EQ(Percents().size(), 2u);  // the fault came after the second chunk
    ASSERT_FALSE(ui_.progress.empty());
    EXPECT_EQ(ui_.progress.back().kind, Event::Close);
    EXPECT_EQ(folder_.Names(), made_);
  }
}

// A source that grows or shrinks right after its first chunk was read (when
// the window shows it) fails the job with 02 and its name; nothing is
// written. (Windows opens a source without sharing write access.)
#ifndef _WIN32
TEST_F(GosfTest, ASourceThatChangesWhileItIsReadFailsTheJob) {
  MakeFiles(200000);
  const Bytes plain = ReadFileBytes(plain_), cipher = ReadFileBytes(cipher_),
              signature = ReadFileBytes(sig_);
  const struct {
    const char* command;
    std::string source, destination;
    bool grows;
  } cases[] = {
      {"/SR", plain_, out_, true},    {"/GM", plain_, out_, false},
      {"/FG", plain_, out_, true},    {"/D", cipher_, out_, true},
      {"/D", cipher_, out_, false},   {"/IMIT", plain_, out_, false},
      {"/HASH", plain_, out_, true},  {"/SIGN", plain_, out_, false},
      {"/CHECK", plain_, sig_, true}, {"/CHECK", plain_, sig_, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + (c.grows ? " grows" : " shrinks"));
    WriteFileBytes(plain_, plain);
    WriteFileBytes(cipher_, cipher);
    WriteFileText(out_, "keep");
    bool changed = false;
    ui_.progress.clear();
    ui_.cancelWhen = ChangeSourceOnce(c.source, c.grows, changed);
    int code = -1;
    EXPECT_EQ(Run(Job(c.source, c.destination, c.command, "/Y"), &code),
              Native(kReadError) + c.source);
    EXPECT_TRUE(changed);
    EXPECT_EQ(ReadFileText(out_), "keep");
    EXPECT_TRUE(ReadFileBytes(sig_) == signature);
    EXPECT_EQ(folder_.Names(), made_);
  }
}
#endif

// ============================================================================
// Which files a command reads
// ============================================================================

// Each command reads only the files it needs, in the order block, key,
// numbers, secret or public key: the first missing one is named. Here the
// files are in the job's folder and `missing` of them removed.
TEST_F(GosfTest, ACommandReadsOnlyTheFilesItNeeds) {
  MakeFiles(3000);
  const std::string copy = folder_ / "copy";
  WriteFileBytes(copy, Pattern(3000));
  auto bit = [](KeyFile k) { return 1 << k; };
  const int all = (1 << kKeyFiles) - 1;
  const struct {
    const char* command;
    std::string source, destination;
    int missing;
    int code;
    KeyFile named;
  } cases[] = {
      {"/COMP", plain_, copy, all, 0, kGtb},
      {"/HASH", plain_, out_, all & ~bit(kGtb), 0, kGtb},
      {"/IMIT", plain_, out_, bit(kPqa) | bit(kGsk) | bit(kGpk), 0, kGtb},
      {"/SIGN", plain_, out_, bit(kGek) | bit(kGpk), 0, kGtb},
      {"/CHECK", plain_, sig_, bit(kGek) | bit(kGsk), 0, kGtb},
      {"/SR", plain_, out_, all, 2, kGtb},
      {"/D", cipher_, out_, all & ~bit(kGtb), 2, kGek},
      {"/SIGN", plain_, out_, bit(kPqa) | bit(kGsk), 2, kPqa},
      {"/SIGN", plain_, out_, bit(kGsk), 2, kGsk},
      {"/CHECK", plain_, sig_, bit(kGpk) | bit(kGsk), 2, kGpk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " missing " + std::to_string(c.missing));
    std::string options = Quoted(c.source) + " " + Quoted(c.destination) + " " + c.command;
    for (int i = 0; i < kKeyFiles; ++i) {
      const std::string name = folder_ / kKeyNames[i];
      std::filesystem::remove(name);
      if ((c.missing & (1 << i)) == 0)
        std::filesystem::copy_file(Key(static_cast<KeyFile>(i)), name);
      options += std::string(" ") + kKeyOptions[i] + Quoted(name);
    }
    int code = -1;
    const std::string text = Run(options + " /Y /NOLOGO", &code);
    EXPECT_EQ(code, c.code) << text;
    if (c.code != 0) {
      EXPECT_EQ(text, Native(kReadError) + " " + (folder_ / kKeyNames[c.named]));
    }
  }
}

// /CHECK only reads its signature file: it asks nothing about it, without
// /Y too, and leaves it as it was, matching or not. /SIGN to the same file
// asks, and a refusal comes before any key file is read.
TEST_F(GosfTest, CheckAsksNothingAndLeavesTheSignature) {
  MakeFiles(3000);
  const Bytes signature = ReadFileBytes(sig_);
  int code = -1;
  EXPECT_EQ(Run(Job(plain_, sig_, "/CHECK", ""), &code), Native(kOk));
  WriteFileBytes(plain_, Pattern(3000, 2));
  EXPECT_EQ(Run(Job(plain_, sig_, "/CHECK", ""), &code),
            Native("ZQGOSF12: Отрицательный результат при проверке ЭЦП"));
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_TRUE(ReadFileBytes(sig_) == signature);

  std::string noKeys = Quoted(plain_) + " " + Quoted(sig_) + " /SIGN";
  for (int i = 0; i < kKeyFiles; ++i)
    noKeys += std::string(" ") + kKeyOptions[i] + Quoted(folder_ / "none");
  EXPECT_EQ(Run(noKeys, &code), Native("ZQGOSF11: Файл уже существует: ") + sig_);
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0].kind, ScriptedUi::Shown::Question);
  EXPECT_EQ(ui_.shown[0].caption, Native("Файловый криптопроцессор ГОСТ"));
  EXPECT_TRUE(ReadFileBytes(sig_) == signature);
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"cipher", "plain", "sig"}));
}

}  // namespace
}  // namespace nc::test
