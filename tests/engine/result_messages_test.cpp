// Result-code messages: every text byte for byte (decoded from Windows-1251
// and compared with the reference wording), and the buffer rules of
// GetCryptoErrorString: zero fill, -3 with the last-error text, 254 bytes at
// most, nothing for unknown codes.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
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

std::vector<char> Fresh(char fill = '\x5A') { return std::vector<char>(300, fill); }

std::string TextOf(const std::vector<char>& buffer) { return std::string(buffer.data()); }

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

TEST(MessagesTest, CodesOutsideTheTableGiveEmptyZeroBuffer) {
  for (int32_t code : {-31, 16, INT32_MIN, INT32_MAX, -100, 1000}) {
    EXPECT_EQ(CryptoErrorMessage(code), nullptr) << code;
    std::vector<char> buffer = Fresh();
    WriteCryptoErrorString(code, "ignored", buffer.data());
    for (size_t i = 0; i < 255; ++i) ASSERT_EQ(buffer[i], '\0') << code << " at " << i;
    EXPECT_EQ(buffer[255], '\x5A');  // nothing beyond the 255 bytes
  }
}

TEST(MessagesTest, WritesMessageAndZeroFillsTheRest) {
  std::vector<char> buffer = Fresh();
  WriteCryptoErrorString(-14, "not used for this code", buffer.data());
  const std::string message = CryptoErrorMessage(-14);
  EXPECT_EQ(TextOf(buffer), message);
  for (size_t i = message.size(); i < 255; ++i) ASSERT_EQ(buffer[i], '\0') << i;
  EXPECT_EQ(buffer[255], '\x5A');
}

TEST(MessagesTest, CriticalFailureAppendsLastErrorText) {
  const std::string last = "TCryptoCEngine.SignData: EInOutError: disk gone";
  std::vector<char> buffer = Fresh();
  WriteCryptoErrorString(-3, last, buffer.data());
  EXPECT_EQ(TextOf(buffer), std::string(CryptoErrorMessage(-3)) + last);

  buffer = Fresh();
  WriteCryptoErrorString(-3, "", buffer.data());
  EXPECT_EQ(TextOf(buffer), CryptoErrorMessage(-3));
}

TEST(MessagesTest, LongTextIsCutTo254Bytes) {
  const std::string last = "TCryptoCEngine.SignData: Exception: " + std::string(400, 'x');
  std::vector<char> buffer = Fresh();
  WriteCryptoErrorString(-3, last, buffer.data());
  const std::string full = std::string(CryptoErrorMessage(-3)) + last;
  EXPECT_EQ(TextOf(buffer), full.substr(0, 254));
  EXPECT_EQ(buffer[254], '\0');
  EXPECT_EQ(buffer[255], '\x5A');
}

TEST(MessagesTest, SmallerBufferLengthIsRespected) {
  std::vector<char> buffer = Fresh();
  WriteCryptoErrorString(0, "", buffer.data(), 8);
  EXPECT_EQ(TextOf(buffer), std::string(CryptoErrorMessage(0)).substr(0, 7));
  EXPECT_EQ(buffer[8], '\x5A');
  buffer = Fresh();
  WriteCryptoErrorString(0, "", buffer.data(), 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '\x5A');
}

TEST(MessagesTest, NullBufferOrNoRoomWritesNothing) {
  WriteCryptoErrorString(-3, "text", nullptr);
  std::vector<char> buffer = Fresh();
  WriteCryptoErrorString(0, "", buffer.data(), 0);
  WriteCryptoErrorString(0, "", buffer.data(), -5);
  EXPECT_EQ(buffer[0], '\x5A');
}

}  // namespace
}  // namespace dizora
