// Result-code messages: every text byte for byte (decoded from Windows-1251
// and compared with the reference wording), and the buffer rules of
// GetCryptoErrorString.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/result_messages.h"
#include "support/cp1251.h"

namespace dizora {
namespace {

// The reference wording, in UTF-8.
const std::map<int32_t, std::string>& Expected() {
  static const std::map<int32_t, std::string> table = {
      {-30, "Библиотека libcrypt.dll не содержит всех необходимых для корректной работы функций. Проверьте версию libcrypt.dll"},
      {-29, "Невозможно загрузить библиотеку ПБЗИ libcrypt.dll"},
      {-28, "Отсутствует настроечный параметр с заданным номером."},
      {-27, "Перегенерация. Обнаружено несоответствие полученного открытого ключа и нового секретного ключа."},
      {-26, "Ошибка секретного ключа. Ключ не найден, недоступен, либо имеет заведомо неверный размер."},
      {-25, "Неверно задан каталог удаленной перегенерации, либо к этому каталогу отсутствует доступ."},
      {-24, "Ошибка при работе с файлами/каталогами при создании структуры ключевого носителя."},
      {-23, "Ошибка перегенерации. Новые ключи не найдены в заданном каталоге перегенерации, недоступны, либо имеют заведомо неверный размер."},
      {-22, "Не задан или не найден каталог удаленной перегенерации!"},
      {-21, "Невозможно удалить собственный открытый ключ/сертификат."},
      {-20, "Невозможно включить собственный открытый ключ/сертификат! UID сертификата совпадает с текущим."},
      {-19, "Ошибка чтения файла открытого ключа/сертификата. Файл не найден, недоступен, либо имеет заведомо неверный размер."},
      {-18, "Ошибка чтения файла секретного ключа. Файл не найден, недоступен, либо имеет заведомо неверный размер."},
      {-17, "Невозможно расшифровать данные. Данные зашифрованы на других пользователей."},
      {-16, "Функция криптопреобразования вызвана с неверным кодом операции. Возможно на обработку поступил поврежденный пакет данных либо задан неверный метод шифрования."},
      {-15, "Ошибка имитозащиты. Целостность зашифрованных данных нарушена, либо имеется несоответствие ключевой информации абонентов."},
      {-14, "Неверный формат подписи"},
      {-13, "Неверно заданы числовые параметры. Параметры \"Encrypt Method\",\"Key request time out\" и \"Last operation key time out\" должны быть целыми положительными числами."},
      {-12, "Обнаружено несоответствие алгоритма открытого и секретного ключа."},
      {-11, "Открытый ключ/сертификат не найден либо испорчен."},
      {-10, "Секретный ключ не найден либо испорчен."},
      {-9, "Невозможно записать файл на диск под заданным именем."},
      {-8, "Нехватка памяти. Невозможно выделить память для выполнения операции."},
      {-7, "Передан пустой UID, либо указатель на 0."},
      {-6, "Сбой при генерации секретного ключа обмена (шифрации)."},
      {-5, "Задан алгоритм подписи, не поддерживаемый данной версией библиотеки."},
      {-4, "В функцию передан неверный указатель, данные заведомо неверной длины либо блок крипто-данных с нарушенной структурой."},
      {-3, "Критический сбой при выполнении функции библиотеки! "},
      {-2, "Попытка обратиться к неподдерживаемой данной версией библиотеки функции."},
      {-1, "Невозможно инициализировать библиотеку. Не найден файл crypt.dll, либо невозможно получить указатель на одну из функций crypt.dll."},
      {0, "Завершение без ошибок."},
      {1, "Некорректная работа с криптографическим контекстом."},
      {2, "Некорректная работа с криптографическим контекстом."},
      {3, "Необходимый для операции ключ (открытый или секретный) непригоден для использования."},
      {4, "Попытка установить ключ в уже заполненный криптографический контекст."},
      {5, "Подпись проверена, результат проверки отрицательный."},
      {6, "Невозможна проверка подписи - Нулевое значение компонента ЭЦП r"},
      {7, "Невозможна проверка подписи - Нулевое значение компонента ЭЦП s"},
      {8, "Невозможна проверка подписи - Некорректное значение компонента ЭЦП r"},
      {9, "Невозможна проверка подписи - Некорректное значение компонента ЭЦП s"},
      {10, "Ошибка при открытии файла"},
      {11, "Ошибка позиционирования в файле"},
      {12, "Ошибка при чтении данных из файла."},
      {13, "Ошибка при закрытии файла."},
      {14, "Некорректная работа с криптографическим контекстом."},
      {15, "Нулевой указатель на обязательный параметр."},
  };
  return table;
}

TEST(MessagesTest, EveryCodeHasItsExactMessage) {
  ASSERT_EQ(Expected().size(), 46u);
  for (const auto& [code, text] : Expected()) {
    const char* raw = CryptoErrorMessage(code);
    ASSERT_NE(raw, nullptr) << code;
    EXPECT_EQ(Cp1251ToUtf8(raw), text) << "code " << code;
    // Stored in Windows-1251, not UTF-8: converting the reference gives the same bytes.
    EXPECT_EQ(std::string(raw), Utf8ToCp1251(text)) << "code " << code;
    EXPECT_LT(std::strlen(raw), 255u) << "code " << code << " does not fit the buffer";
  }
}

// The buffer of GetCryptoErrorString: the text, zeros up to the given length
// (255 by default), nothing beyond it; -3 appends the last-error text; the
// text is cut so that a terminator always fits.
TEST(MessagesTest, BufferGetsTheTextZeroFilledAndNothingBeyondItsLength) {
  const std::string critical = CryptoErrorMessage(-3);
  const std::string long_text = "TCryptoCEngine.SignData: Exception: " + std::string(400, 'x');
  struct Case {
    const char* what;
    int32_t code;
    std::string last;
    std::optional<int32_t> length;  // none: the default
    std::string text;
    size_t filled;  // bytes written: the text, then zeros
  };
  const Case cases[] = {
      {"a plain code ignores the last error", -14, "not used", {}, CryptoErrorMessage(-14), 255},
      {"-3 appends the last error", -3, "EInOutError: disk gone", {}, critical + "EInOutError: disk gone", 255},
      {"-3 without a last error", -3, "", {}, critical, 255},
      {"cut to 254 bytes", -3, long_text, {}, (critical + long_text).substr(0, 254), 255},
      {"a smaller length", 0, "", 8, std::string(CryptoErrorMessage(0)).substr(0, 7), 8},
      {"room for the terminator only", 0, "", 1, "", 1},
      {"no room", 0, "", 0, "", 0},
      {"a negative length", 0, "", -5, "", 0},
      {"a code below the table", -31, "ignored", {}, "", 255},
      {"a code above the table", 16, "ignored", {}, "", 255},
      {"the lowest code", INT32_MIN, "ignored", {}, "", 255},
      {"the highest code", INT32_MAX, "ignored", {}, "", 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<char> buffer(300, '\x5A');
    if (c.length) {
      WriteCryptoErrorString(c.code, c.last, buffer.data(), *c.length);
    } else {
      WriteCryptoErrorString(c.code, c.last, buffer.data());
    }
    std::string expected = c.text;
    expected.resize(c.filled, '\0');
    EXPECT_EQ(std::string(buffer.data(), c.filled), expected);
    EXPECT_EQ(buffer[c.filled], '\x5A') << "a byte past the buffer's length was written";
  }
  for (const int32_t code : {-31, 16, INT32_MIN, INT32_MAX}) EXPECT_EQ(CryptoErrorMessage(code), nullptr) << code;
  WriteCryptoErrorString(-3, "text", nullptr);  // a null buffer is ignored
}

}  // namespace
}  // namespace dizora
