// The native methods of the Java class org.tovo.quarvel.lib.QuarvelJNI.
//
// Each method turns its Java string arguments into the modified UTF-8 bytes
// that the JVM hands out, runs one library operation, copies the answer into
// a 512-byte buffer of its own, and returns that copy as a new Java string.
// init and createProfileDictionary run under the library's lock, because the
// answer areas of LoadConfigFile, CreateDict and DeleteDict are shared and
// the next caller overwrites them; verify takes no lock, because each
// thread's VerifyPW answer is its own until that thread's next call. The
// buffer keeps the copy safe until NewStringUTF has read it.
//
// A Java null never reaches the library: verify(null) answers "RET_CD=2000",
// a null mode, or a null word list path in create mode, answers
// "RET_CD=3001". When the JVM cannot supply a string's bytes (it is out of
// memory), GetStringUTFChars has already raised the Java exception: the
// method returns null at once and the exception propagates.

#include <jni.h>

#include <cstddef>
#include <cstring>

#include "quarvel/pwanalysis.h"
#include "verify/api_lock.h"

namespace {

constexpr std::size_t kAnswerSize = 512;
constexpr char kProfilePrefix[] = "./dicts/profile";
constexpr char kNoPassword[] = "RET_CD=2000";
constexpr char kNoWordList[] = "RET_CD=3001";

// A cleared answer buffer; Set() copies an answer into it, cut to fit and
// always terminated.
class AnswerBuffer {
 public:
  AnswerBuffer() noexcept { std::memset(text_, 0, sizeof(text_)); }
  AnswerBuffer(const AnswerBuffer &) = delete;
  AnswerBuffer &operator=(const AnswerBuffer &) = delete;

  void Set(const char *answer) noexcept {
    if (answer == nullptr) answer = "";
    const std::size_t length = strnlen(answer, kAnswerSize - 1);
    std::memcpy(text_, answer, length);
    text_[length] = '\0';
  }

  jstring ToJava(JNIEnv *env) const noexcept { return env->NewStringUTF(text_); }

 private:
  char text_[kAnswerSize];
};

// The modified UTF-8 bytes of a Java string, held from construction to
// destruction. bytes() is null when the string is null or the JVM could not
// supply them; failed() tells the second case apart (an exception is then
// pending in the JVM).
class JavaChars {
 public:
  JavaChars(JNIEnv *env, jstring string) noexcept : env_(env), string_(string) {
    if (string_ != nullptr) bytes_ = env_->GetStringUTFChars(string_, nullptr);
  }
  ~JavaChars() {
    if (bytes_ != nullptr) env_->ReleaseStringUTFChars(string_, bytes_);
  }
  JavaChars(const JavaChars &) = delete;
  JavaChars &operator=(const JavaChars &) = delete;

  const char *bytes() const noexcept { return bytes_; }
  bool failed() const noexcept { return string_ != nullptr && bytes_ == nullptr; }

 private:
  JNIEnv *env_;
  jstring string_;
  const char *bytes_ = nullptr;
};

}  // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_org_tovo_quarvel_lib_QuarvelJNI_init(JNIEnv *env, jclass) noexcept {
  AnswerBuffer answer;
  {
    quarvel::ApiLock lock;
    answer.Set(LoadConfigFile());
  }
  return answer.ToJava(env);
}

JNIEXPORT jstring JNICALL Java_org_tovo_quarvel_lib_QuarvelJNI_verify(JNIEnv *env, jclass,
                                                                      jstring password) noexcept {
  AnswerBuffer answer;
  {
    JavaChars chars(env, password);
    if (chars.failed()) return nullptr;
    if (chars.bytes() == nullptr) {
      answer.Set(kNoPassword);
    } else {
      // Verifications run in parallel: each thread's answer is its own.
      answer.Set(VerifyPW(chars.bytes()));
    }
  }
  return answer.ToJava(env);
}

JNIEXPORT jstring JNICALL Java_org_tovo_quarvel_lib_QuarvelJNI_createProfileDictionary(
    JNIEnv *env, jclass, jstring mode, jstring path) noexcept {
  AnswerBuffer answer;
  {
    JavaChars mode_chars(env, mode);
    if (mode_chars.failed()) return nullptr;
    if (mode_chars.bytes() == nullptr) {
      // Neither creation nor deletion was asked for: change nothing.
      answer.Set(kNoWordList);
    } else if (mode_chars.bytes()[0] == 'C') {
      JavaChars path_chars(env, path);
      if (path_chars.failed()) return nullptr;
      if (path_chars.bytes() == nullptr) {
        answer.Set(kNoWordList);
      } else {
        quarvel::ApiLock lock;
        answer.Set(CreateDict(path_chars.bytes(), kProfilePrefix));
      }
    } else {
      // Deletion does not use the path, so its bytes are never fetched.
      quarvel::ApiLock lock;
      answer.Set(DeleteDict(kProfilePrefix));
    }
  }
  return answer.ToJava(env);
}

}  // extern "C"
