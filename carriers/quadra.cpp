// The NorvexQuadra dongle layer (see quadra.h).
#include "carriers/quadra.h"

#include "platform/clock.h"
#include "platform/library_text.h"
#include "platform/named_mutex.h"
#include "zq/wipe.h"

namespace nc::carriers {

namespace {

// ---- status texts ---------------------------------------------------------------------
// The client's own texts, spelled as the system shows them (UTF-8 here,
// converted at the boundary: platform/library_text.h).
struct StatusText {
  std::uint16_t status;
  const char* text;
};

constexpr StatusText kStatusTexts[] = {
    {0, "OK"},
    {1, "Запрошен некорректный номер функции."},
    {2, "Некорректный пакет запроса."},
    {3, "Ключ не найден."},
    {4, "Попытка выполнения недопустимой операции на слове памяти."},
    {5, "Задан некорректный адрес памяти."},
    {6, "Некорректный код доступа."},
    {7, "Порт занят."},
    {8, "Операция не была выполнена. Попытайтесь еще раз."},
    {9, "Порт не найден."},
    {10, "Ячека памяти уже содержит нулевое значение."},
    {11, "Ошибка при обращении к драйверу."},
    {12, "Драйвер не найден."},
    {13, "Ошибка ввода/вывода."},
    {15, "Размер пакета запроса слишком мал."},
    {16, "Задан некорректный параметр."},
    {17, "Ошибка доступа к памяти."},
    {18, "Версия драйвера устарела и не поддерживается. Замените драйвер."},
    {19, "Операционная система не поддерживается."},
    {20, "Размер запроса слишком велик."},
    {21, "Задана некорректная команда."},
    {29, "Ошибка выравнивания."},
    {30, "Драйвер занят."},
    {31, "Ошибка при распределении ресурсов."},
    {32, "Ошибка при освобождении ресурсов."},
    {39, "Истек таймаут обмена данными с портом."},
    {42, "Цепь SIGNAL не поддерживается ПЭВМ."},
    {44, "Неизвестный тип ПЭВМ."},
    {45, "Ошибка вызовов функций API."},
    {46, "Ключ занят."},
    {47, "Неподходящий тип порта."},
    {48, "Некорректный тип сравнения."},
    {49, "Некорректная маска прерываний."},
    {50, "Некорректный метод."},
    {51, "Некорректное состояние порта."},
    {52, "Неверная конфигурация."},
    {53, "Операционная система не поддерживается."},
    {54, "Некорректный номер порта."},
    {56, "Неверные флаги маршрутизации."},
    {57, "Небыла выполнена инициализация."},
    {58, "Данный тип драйвера не поддерживается."},
    {59, "Ошибка при обмене данными с драйвером."},
};
constexpr const char kOtherStatusText[] = "Внутренняя ошибка NorvexQuadra.";

// ---- process-wide state ------------------------------------------------------------------

platform::NamedMutexHandle g_mutex = platform::kNoMutex;
// Acquisitions this thread holds and has not released (more than zero only
// while a sequence runs, or after a fault cut one short).
thread_local int t_held = 0;

// The decoy generator: the C library's classic linear congruential
// generator (15-bit results), seeded from the clock by QuadraOpen.
std::uint32_t g_random = 1;

std::uint32_t Random() {
  g_random = g_random * 214013u + 2531011u;
  return (g_random >> 16) & 0x7FFFu;
}

// ---- the mutex ---------------------------------------------------------------------------

std::uint16_t Acquire() {
  if (g_mutex == platform::kNoMutex) return kQuadraNotInitialised;
  platform::MutexWait wait = platform::WaitNamedMutex(g_mutex, kQuadraMutexWaitMs);
  if (wait != platform::MutexWait::Acquired && wait != platform::MutexWait::Abandoned) {
    return kQuadraMutexTimeout;
  }
  ++t_held;
  return kQuadraOk;
}

void Release() {
  if (t_held <= 0) return;
  --t_held;
  platform::ReleaseNamedMutex(g_mutex);
}

void CloseMutex() {
  while (t_held > 0) Release();
  platform::CloseNamedMutex(g_mutex);
  g_mutex = platform::kNoMutex;
}

// ---- the retry policy --------------------------------------------------------------------

bool IsBusy(std::uint16_t status) {
  return status == 7 || status == 8 || status == 30 || status == 46;
}

// The waits after busy statuses, counted over one layer operation.
struct RetryBudget {
  std::uint32_t busyWaits = 0;
};

template <typename Call>
std::uint16_t Retried(RetryBudget& budget, Call call) {
  std::uint32_t otherCalls = 0;
  for (;;) {
    std::uint16_t status = call();
    if (status == kQuadraOk || status == 12) return status;
    if (IsBusy(status)) {
      if (budget.busyWaits >= kQuadraBusyWaits) return status;
      ++budget.busyWaits;
    } else if (++otherCalls >= kQuadraOtherCalls) {
      return status;
    }
    platform::CurrentClock().SleepMs(kQuadraRetryWaitMs);
  }
}

// Format, configure (1, 4, 2) and initialise.
std::uint16_t Prepare(drivers::QuadraClient& client, std::uint8_t* packet, RetryBudget& budget) {
  std::uint16_t status = Retried(budget, [&] { return client.Format(packet); });
  if (status != kQuadraOk) return status;
  std::uint8_t config[drivers::kQuadraConfigSize] = {1, 0, 4, 0, 2, 0};
  status = Retried(budget, [&] { return client.Configure(packet, config); });
  if (status != kQuadraOk) return status;
  return Retried(budget, [&] { return client.Initialize(packet); });
}

// Zero to one reads of consecutive random cells, their values discarded.
void DecoyReads(drivers::QuadraClient& client, std::uint8_t* packet) {
  std::uint32_t count = Random() % 2;
  std::uint32_t start = Random() % (63 - count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t ignored = 0;
    client.ReadCell(packet, static_cast<std::uint16_t>(start + i), &ignored);
    SecureWipe(&ignored, sizeof ignored);
  }
}

}  // namespace

std::uint16_t QuadraOpen() {
  g_random = static_cast<std::uint32_t>(platform::CurrentClock().NowMs());
  if (g_mutex == platform::kNoMutex) {
    g_mutex = platform::CreateNamedMutex(kQuadraMutexName);
    if (g_mutex == platform::kNoMutex) return kQuadraMutexFailed;
  }
  std::uint16_t status = Acquire();
  if (status != kQuadraOk) {
    CloseMutex();
    return status;
  }
  std::uint8_t packet[kQuadraPacketSize];
  RetryBudget budget;
  status = Prepare(drivers::CurrentQuadraClient(), packet, budget);
  Release();
  if (status != kQuadraOk) CloseMutex();
  return status;
}

std::uint16_t QuadraFindFirst(std::uint8_t* packet) {
  std::uint16_t status = Acquire();
  if (status != kQuadraOk) return status;
  drivers::QuadraClient& client = drivers::CurrentQuadraClient();
  RetryBudget budget;
  status = Prepare(client, packet, budget);
  if (status == kQuadraOk) {
    status = Retried(budget, [&] { return client.FindFirst(packet, kQuadraDeveloperId); });
  }
  Release();
  return status;
}

std::uint16_t QuadraFindNext(std::uint8_t* packet) {
  std::uint16_t status = Acquire();
  if (status != kQuadraOk) return status;
  drivers::QuadraClient& client = drivers::CurrentQuadraClient();
  RetryBudget budget;
  status = Retried(budget, [&] { return client.FindNext(packet); });
  Release();
  return status;
}

std::uint16_t QuadraReadCell(std::uint8_t* packet, std::uint16_t cell, std::uint16_t* value) {
  std::uint16_t status = Acquire();
  if (status != kQuadraOk) return status;
  drivers::QuadraClient& client = drivers::CurrentQuadraClient();
  DecoyReads(client, packet);
  RetryBudget budget;
  std::uint16_t read = 0;
  status = Retried(budget, [&] { return client.ReadCell(packet, cell, &read); });
  if (status == kQuadraOk) {
    if (value != nullptr) *value = read;
    DecoyReads(client, packet);
  }
  SecureWipe(&read, sizeof read);
  Release();
  return status;
}

void QuadraClose() {
  if (g_mutex != platform::kNoMutex) CloseMutex();
}

void QuadraStatusText(char* buffer, std::uint32_t size, std::uint16_t status) {
  const char* text = kOtherStatusText;
  for (const StatusText& entry : kStatusTexts) {
    if (entry.status == status) text = entry.text;
  }
  platform::CopyLibraryText(buffer, size, text);
}

}  // namespace nc::carriers
