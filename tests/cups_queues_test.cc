// Reading a CUPS-Get-Printers response into queues.
#include <gtest/gtest.h>

#include "spooler/cups/cups_exchange.h"
#include "spooler/cups/cups_queues.h"

namespace {

IppMessage Response(ipp_status_t status) {
  IppMessage response(ippNew(), &ippDelete);
  ippSetStatusCode(response.get(), status);
  ippAddString(response.get(), IPP_TAG_OPERATION, IPP_TAG_CHARSET,
               "attributes-charset", nullptr, "utf-8");
  return response;
}

TEST(QueuesInResponse, OnePerPrinterGroupInTheServersOrder) {
  IppMessage response = Response(IPP_STATUS_OK);
  ipp_t* r = response.get();
  ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "Zeta");
  ippAddInteger(r, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type", 2097158);
  ippAddBoolean(r, IPP_TAG_PRINTER, "printer-is-shared", 1);
  ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
               "ipp://printhost/printers/z");
  ippAddSeparator(r);
  ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "Alpha");
  ippAddInteger(r, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "queued-job-count", 3);
  ippAddBoolean(r, IPP_TAG_PRINTER, "printer-is-shared", 0);
  ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
               "B\xC3\xBCro");
  ippAddOctetString(r, IPP_TAG_PRINTER, "printer-octets", "ab", 2);

  const std::vector<CupsQueue> queues = QueuesInResponse(r);
  ASSERT_EQ(queues.size(), 2u);
  EXPECT_EQ(queues[0], (CupsQueue{{"printer-name", "Zeta"},
                                  {"printer-type", "2097158"},
                                  {"printer-is-shared", "true"},
                                  {"device-uri", "ipp://printhost/printers/z"}}));
  EXPECT_EQ(queues[1], (CupsQueue{{"printer-name", "Alpha"},
                                  {"queued-job-count", "3"},
                                  {"printer-is-shared", "false"},
                                  {"printer-info", "B\xC3\xBCro"}}));
}

TEST(QueuesInResponse, AnErrorAnswerHasNoQueues) {
  IppMessage response = Response(IPP_STATUS_ERROR_NOT_FOUND);
  ippAddString(response.get(), IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name",
               nullptr, "Stray");
  EXPECT_TRUE(QueuesInResponse(response.get()).empty());
  EXPECT_TRUE(QueuesInResponse(Response(IPP_STATUS_OK).get()).empty());
}

}  // namespace
