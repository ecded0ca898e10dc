#include "bench_names.h"

std::wstring BenchRecordName(std::size_t k) {
  std::wstring digits = std::to_wstring(k);
  if (digits.size() < 6) digits.insert(0, 6 - digits.size(), L'0');
  return L"B\u00fcro-Drucker " + digits;
}
