// The native methods of the Java class org.tovo.quarvel.Quarvel: thin
// wrappers over the engine (quarvel/engine.h).
//
// The Java side passes a password as a byte[] of UTF-8 that it wipes after
// the call. It is copied here with GetByteArrayRegion into a buffer this file
// owns (on the stack, or on the heap when it is long), which is wiped before
// the method returns; the JVM never hands out a pointer into its own copy.
// The result record on the stack is wiped too, once its members have been
// copied into the Java arrays (the numbers of its reasons and steps, and the
// steps' texts, which may quote the password as the variant text does).
//
// No lock is taken: the engine serves any number of threads. Quarvel.java
// keeps the environment alive while a call runs (close waits for them).

#include <jni.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "base/secure_wipe.h"
#include "quarvel/engine.h"

namespace {

// The members of the int[] that nativeCheck fills; Quarvel.java reads them
// in this order.
enum NumberIndex : jsize {
  kCode,
  kLevel,
  kPwLen,
  kPwNcr,
  kReptNcr,
  kCtsNcr,
  kDictFdCnt,
  kPdictFd,
  kDistinct,
  kStageScore,
  kMatchKind = kStageScore + 6,
  kMatchSlot,
  kMatchChanges,
  // The reasons (stage, code, points, value, limit) and the match steps
  // (code, piece, count, count2), each after its count.
  kReasonCount,
  kReasons,
  kStepCount = kReasons + QUARVEL_MAX_REASONS * 5,
  kSteps,
  kNumberCount = kSteps + QUARVEL_MAX_STEPS * 4,
  // nativeCheckWithEstimate goes on with the estimate's codes: the warning,
  // the suggestions after their count, and the pieces (kind, start, length,
  // transforms, rank, slot) after theirs.
  kWarning = kNumberCount,
  kSuggestionCount,
  kSuggestions,
  kPieceCount = kSuggestions + QUARVEL_MAX_SUGGESTIONS,
  kPieces,
  kEstimateNumberCount = kPieces + QUARVEL_MAX_PIECES * 6
};

// The members of the String[] that nativeCheck fills.
// The steps' texts follow, from kStepArg on.
enum TextIndex : jsize {
  kAnswer,
  kPrefix,
  kWord,
  kRule,
  kAffix,
  kVariant,
  kStepArg,
  kTextCount = kStepArg + QUARVEL_MAX_STEPS,
  // nativeCheckWithEstimate: the pieces' words follow.
  kPieceWord = kTextCount,
  kEstimateTextCount = kPieceWord + QUARVEL_MAX_PIECES
};

// The members of the double[] that nativeCheckWithEstimate fills.
enum RealIndex : jsize {
  kGuesses,
  kCrackSeconds,
  kPieceGuesses = kCrackSeconds + QUARVEL_ATTACKS,
  kRealCount = kPieceGuesses + QUARVEL_MAX_PIECES
};

// The tables of nativeCatalogue; Catalogue.java uses the same numbers.
enum CatalogueTable : jint {
  kWarningName = 1,
  kWarningText,
  kSuggestionName,
  kSuggestionText,
  kPieceName,
  kTransformName,
  kAttackName
};

// Passwords up to this many bytes (and the terminator) are copied to the
// stack; the engine refuses anything longer than 257.
constexpr std::size_t kInlineBytes = 320;

// Bytes owned by this file, wiped on destruction: inline when they fit,
// otherwise on the heap. data() is null when the heap refused.
class WipedBuffer {
 public:
  explicit WipedBuffer(std::size_t size) noexcept : size_(size) {
    if (size_ <= sizeof(inline_)) {
      data_ = inline_;
    } else {
      heap_.reset(new (std::nothrow) char[size_]);
      data_ = heap_.get();
    }
  }
  ~WipedBuffer() {
    if (data_ != nullptr) quarvel::SecureWipe(data_, size_);
  }
  WipedBuffer(const WipedBuffer &) = delete;
  WipedBuffer &operator=(const WipedBuffer &) = delete;

  char *data() noexcept { return data_; }

 private:
  std::size_t size_;
  char *data_ = nullptr;
  std::unique_ptr<char[]> heap_;
  char inline_[kInlineBytes];
};

void ThrowOutOfMemory(JNIEnv *env) noexcept {
  jclass error = env->FindClass("java/lang/OutOfMemoryError");
  if (error != nullptr) env->ThrowNew(error, "no memory for a copy of the password");
}

// A Java string of the text in a record's char array, which the engine
// terminates. Texts are ASCII but for dictionary prefixes, which are file
// names: those are decoded as UTF-8, with U+FFFD for bytes that are not, so
// that no byte sequence can reach NewStringUTF unchecked. Null when the JVM
// is out of memory (an exception is then pending).
template <std::size_t N>
jstring ToJavaString(JNIEnv *env, const char (&text)[N]) noexcept {
  const std::size_t length = strnlen(text, N);
  const auto *bytes = reinterpret_cast<const unsigned char *>(text);
  bool ascii = length < N;
  for (std::size_t i = 0; ascii && i < length; ++i) ascii = bytes[i] < 0x80;
  if (ascii) return env->NewStringUTF(text);

  // Each byte gives at most one UTF-16 unit: a surrogate pair takes four.
  jchar chars[N];
  jsize out = 0;
  for (std::size_t i = 0; i < length;) {
    const unsigned char lead = bytes[i];
    constexpr std::size_t kBad = 4;
    const std::size_t extra = lead < 0x80   ? 0
                              : lead < 0xc2 ? kBad
                              : lead < 0xe0 ? 1
                              : lead < 0xf0 ? 2
                              : lead < 0xf5 ? 3
                                            : kBad;
    bool valid = extra != kBad;
    uint32_t code = extra == 0   ? lead
                    : extra == 1 ? lead & 0x1fu
                    : extra == 2 ? lead & 0x0fu
                                 : lead & 0x07u;
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      valid = i + k < length && (bytes[i + k] & 0xc0) == 0x80;
      if (valid) code = (code << 6) | (bytes[i + k] & 0x3fu);
    }
    // Overlong three- and four-byte forms, surrogates, and values beyond U+10FFFF.
    if (valid && ((extra == 2 && (code < 0x800 || (code >= 0xd800 && code < 0xe000))) ||
                  (extra == 3 && (code < 0x10000 || code > 0x10ffff)))) {
      valid = false;
    }
    if (!valid) {
      chars[out++] = 0xfffd;
      ++i;
    } else if (code >= 0x10000) {
      chars[out++] = static_cast<jchar>(0xd800 + ((code - 0x10000) >> 10));
      chars[out++] = static_cast<jchar>(0xdc00 + ((code - 0x10000) & 0x3ff));
      i += extra + 1;
    } else {
      chars[out++] = static_cast<jchar>(code);
      i += extra + 1;
    }
  }
  return env->NewString(chars, out);
}

// Sets texts[index] to text; false when the JVM is out of memory.
template <std::size_t N>
bool SetText(JNIEnv *env, jobjectArray texts, jsize index, const char (&text)[N]) noexcept {
  jstring string = ToJavaString(env, text);
  if (string == nullptr) return false;
  env->SetObjectArrayElement(texts, index, string);
  env->DeleteLocalRef(string);
  return true;
}

quarvel_env *FromHandle(jlong handle) noexcept {
  return reinterpret_cast<quarvel_env *>(static_cast<std::uintptr_t>(handle));
}

// Runs the check with the password and context words copied out of the Java
// arrays; the copies are wiped when it returns. False when the JVM is out of
// memory (an exception is then pending).
bool RunCheck(JNIEnv *env, const quarvel_env *engine, jbyteArray password, jobjectArray context,
              quarvel_result *result) noexcept {
  const jsize length = env->GetArrayLength(password);
  WipedBuffer copy(static_cast<std::size_t>(length) + 1);
  if (copy.data() == nullptr) {
    ThrowOutOfMemory(env);
    return false;
  }
  env->GetByteArrayRegion(password, 0, length, reinterpret_cast<jbyte *>(copy.data()));
  copy.data()[length] = '\0';
  if (context == nullptr) {
    quarvel_check(engine, copy.data(), static_cast<std::size_t>(length), result);
    return true;
  }

  // The words one after another, each terminated, and a pointer to each.
  const jsize n_words = env->GetArrayLength(context);
  std::size_t total = 0;
  for (jsize i = 0; i < n_words; ++i) {
    auto word = static_cast<jbyteArray>(env->GetObjectArrayElement(context, i));
    total += static_cast<std::size_t>(env->GetArrayLength(word)) + 1;
    env->DeleteLocalRef(word);
  }
  WipedBuffer words(total);
  std::unique_ptr<const char *[]> starts(new (std::nothrow) const char *[n_words + 1]);
  if (words.data() == nullptr || starts == nullptr) {
    ThrowOutOfMemory(env);
    return false;
  }
  char *at = words.data();
  for (jsize i = 0; i < n_words; ++i) {
    auto word = static_cast<jbyteArray>(env->GetObjectArrayElement(context, i));
    const jsize word_length = env->GetArrayLength(word);
    env->GetByteArrayRegion(word, 0, word_length, reinterpret_cast<jbyte *>(at));
    env->DeleteLocalRef(word);
    at[word_length] = '\0';
    starts[i] = at;
    at += word_length + 1;
  }
  quarvel_check_context(engine, copy.data(), static_cast<std::size_t>(length), starts.get(),
                        static_cast<std::size_t>(n_words), result);
  return true;
}

// Copies the result into the Java arrays.
void Deliver(JNIEnv *env, const quarvel_result &result, jintArray numbers,
             jobjectArray texts) noexcept {
  jint values[kNumberCount] = {};
  values[kCode] = result.code;
  values[kLevel] = result.level;
  values[kPwLen] = result.pw_len;
  values[kPwNcr] = result.pw_ncr;
  values[kReptNcr] = result.rept_ncr;
  values[kCtsNcr] = result.cts_ncr;
  values[kDictFdCnt] = result.dict_fd_cnt;
  values[kPdictFd] = result.pdict_fd;
  values[kDistinct] = result.distinct;
  for (int stage = 0; stage < 6; ++stage) values[kStageScore + stage] = result.stage_score[stage];
  values[kMatchKind] = result.match.kind;
  values[kMatchSlot] = result.match.slot;
  values[kMatchChanges] = static_cast<jint>(result.match.variants);
  const int reasons = std::clamp(result.reason_count, 0, QUARVEL_MAX_REASONS);
  values[kReasonCount] = reasons;
  for (int i = 0; i < reasons; ++i) {
    const quarvel_reason &r = result.reasons[i];
    jint *at = values + kReasons + i * 5;
    at[0] = r.stage;
    at[1] = r.code;
    at[2] = r.points;
    at[3] = r.value;
    at[4] = r.limit;
  }
  const int steps = std::clamp(result.step_count, 0, QUARVEL_MAX_STEPS);
  values[kStepCount] = steps;
  for (int i = 0; i < steps; ++i) {
    const quarvel_step &s = result.match_steps[i];
    jint *at = values + kSteps + i * 4;
    at[0] = s.code;
    at[1] = s.piece;
    at[2] = s.count;
    at[3] = s.count2;
  }
  env->SetIntArrayRegion(numbers, 0, kNumberCount, values);

  if (!SetText(env, texts, kAnswer, result.answer)) return;
  if (result.match.kind == QUARVEL_MATCH_NONE) return;
  if (!SetText(env, texts, kPrefix, result.match.prefix)) return;
  if (!SetText(env, texts, kWord, result.match.word)) return;
  if (!SetText(env, texts, kRule, result.match.rule)) return;
  if (!SetText(env, texts, kAffix, result.match.affix)) return;
  if (!SetText(env, texts, kVariant, result.match.variant)) return;
  for (int i = 0; i < steps; ++i) {
    if (!SetText(env, texts, kStepArg + i, result.match_steps[i].arg)) return;
  }
}

// Copies the estimate into the Java arrays: the codes after the members
// Deliver wrote, the numbers of guesses, the pieces' words.
void DeliverEstimate(JNIEnv *env, const quarvel_result &result, jintArray numbers,
                     jobjectArray texts, jdoubleArray reals) noexcept {
  if (result.code != QUARVEL_OK) return;
  jint values[kEstimateNumberCount - kNumberCount] = {};
  jdouble guesses[kRealCount] = {};
  auto at = [&values](jsize index) -> jint & { return values[index - kNumberCount]; };
  at(kWarning) = result.warning;
  const int suggestions = std::clamp(result.suggestion_count, 0, QUARVEL_MAX_SUGGESTIONS);
  at(kSuggestionCount) = suggestions;
  for (int i = 0; i < suggestions; ++i) at(kSuggestions + i) = result.suggestions[i];
  const int pieces = std::clamp(result.piece_count, 0, QUARVEL_MAX_PIECES);
  at(kPieceCount) = pieces;
  for (int i = 0; i < pieces; ++i) {
    const quarvel_guess_piece &p = result.pieces[i];
    jint *piece = &at(kPieces + i * 6);
    piece[0] = p.kind;
    piece[1] = p.start;
    piece[2] = p.length;
    piece[3] = static_cast<jint>(p.transforms);
    piece[4] = static_cast<jint>(p.rank);
    piece[5] = p.slot;
    guesses[kPieceGuesses + i] = p.guesses_log10;
  }
  guesses[kGuesses] = result.guesses_log10;
  for (int a = 0; a < QUARVEL_ATTACKS; ++a) guesses[kCrackSeconds + a] = result.crack_seconds[a];
  env->SetIntArrayRegion(numbers, kNumberCount, kEstimateNumberCount - kNumberCount, values);
  env->SetDoubleArrayRegion(reals, 0, kRealCount, guesses);
  for (int i = 0; i < pieces; ++i) {
    if (!SetText(env, texts, kPieceWord + i, result.pieces[i].word)) return;
  }
}

// Checks and copies the result into the Java arrays, the estimate too when
// reals is not null (a record that ends before it costs no estimate).
void CheckAndDeliver(JNIEnv *env, jlong handle, jbyteArray password, jobjectArray context,
                     jintArray numbers, jobjectArray texts, jdoubleArray reals) noexcept {
  quarvel_result result;
  std::memset(&result, 0, sizeof(result));
  QUARVEL_RESULT_INIT(&result);
  if (reals == nullptr) result.size = static_cast<uint32_t>(QUARVEL_RESULT_V3_SIZE);
  if (RunCheck(env, FromHandle(handle), password, context, &result)) {
    Deliver(env, result, numbers, texts);
    if (reals != nullptr && !env->ExceptionCheck()) {
      DeliverEstimate(env, result, numbers, texts, reals);
    }
  }
  quarvel::SecureWipe(&result, sizeof(result));
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_org_tovo_quarvel_Quarvel_nativeOpen(JNIEnv *env, jclass,
                                                                 jbyteArray root,
                                                                 jobjectArray reason) noexcept {
  const jsize length = env->GetArrayLength(root);
  WipedBuffer path(static_cast<std::size_t>(length) + 1);
  if (path.data() == nullptr) {
    ThrowOutOfMemory(env);
    return 0;
  }
  env->GetByteArrayRegion(root, 0, length, reinterpret_cast<jbyte *>(path.data()));
  path.data()[length] = '\0';

  char error[512] = {};
  quarvel_env *engine = quarvel_open(path.data(), error, sizeof(error));
  if (engine == nullptr) {
    jstring text = ToJavaString(env, error);
    if (text != nullptr) env->SetObjectArrayElement(reason, 0, text);
    return 0;
  }
  return static_cast<jlong>(reinterpret_cast<std::uintptr_t>(engine));
}

JNIEXPORT jint JNICALL Java_org_tovo_quarvel_Quarvel_nativeReload(JNIEnv *, jclass,
                                                                  jlong handle) noexcept {
  return quarvel_reload(FromHandle(handle));
}

JNIEXPORT void JNICALL Java_org_tovo_quarvel_Quarvel_nativeClose(JNIEnv *, jclass,
                                                                 jlong handle) noexcept {
  quarvel_close(FromHandle(handle));
}

JNIEXPORT void JNICALL Java_org_tovo_quarvel_Quarvel_nativeCheck(JNIEnv *env, jclass, jlong handle,
                                                                 jbyteArray password,
                                                                 jobjectArray context,
                                                                 jintArray numbers,
                                                                 jobjectArray texts) noexcept {
  CheckAndDeliver(env, handle, password, context, numbers, texts, nullptr);
}

// As nativeCheck, with the guess estimate: numbers, texts and reals as the
// enums above say. Quarvel.java calls this one; nativeCheck stays for the
// jars that came before the estimate.
JNIEXPORT void JNICALL Java_org_tovo_quarvel_Quarvel_nativeCheckWithEstimate(
    JNIEnv *env, jclass, jlong handle, jbyteArray password, jobjectArray context, jintArray numbers,
    jobjectArray texts, jdoubleArray reals) noexcept {
  CheckAndDeliver(env, handle, password, context, numbers, texts, reals);
}

// A name or English text of the library's catalogue: "" for a code it does
// not know. Null only when the JVM is out of memory.
JNIEXPORT jstring JNICALL Java_org_tovo_quarvel_Quarvel_nativeCatalogue(JNIEnv *env, jclass,
                                                                        jint table,
                                                                        jint code) noexcept {
  const char *text = "";
  switch (table) {
    case kWarningName:
      text = quarvel_warning_name(code);
      break;
    case kWarningText:
      text = quarvel_warning_text(code);
      break;
    case kSuggestionName:
      text = quarvel_suggestion_name(code);
      break;
    case kSuggestionText:
      text = quarvel_suggestion_text(code);
      break;
    case kPieceName:
      text = quarvel_guess_name(QUARVEL_NAME_PIECE, code);
      break;
    case kTransformName:
      text = quarvel_guess_name(QUARVEL_NAME_TRANSFORM, code);
      break;
    case kAttackName:
      text = quarvel_guess_name(QUARVEL_NAME_ATTACK, code);
      break;
    default:
      break;
  }
  // The catalogue is ASCII, which NewStringUTF takes as it is.
  return env->NewStringUTF(text);
}

}  // extern "C"
