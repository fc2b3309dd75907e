// Records and lists made and freed through the record functions, as a host
// does it (clean under AddressSanitizer: every path frees what it made).
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <cstring>
#include <string>

#include "codes.h"
#include "frame_host.h"

using orvel_test::error_block;
using orvel_test::Host;

TEST(Records, NewCopiesEveryStringWithNul) {
  Host h;
  SigRcpSsfInfo* rec = reinterpret_cast<SigRcpSsfInfo*>(0x1);
  ASSERT_EQ(h.NEWSigRcpSsfInfo("CN=Ivanov", 9, "res", 3, "/p/key.p12", 10, "secret", 6, 28, &rec), 0);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(std::string(rec->strSigRcpId), "CN=Ivanov");
  EXPECT_EQ(rec->strSigRcpIdL, 9);
  EXPECT_EQ(std::string(rec->strSigRcpReserved), "res");
  EXPECT_EQ(rec->strSigRcpReservedL, 3);
  EXPECT_EQ(std::string(rec->strSigRcpProfile), "/p/key.p12");
  EXPECT_EQ(rec->strSigRcpProfileL, 10);
  EXPECT_EQ(std::string(rec->strSigRcpPassword), "secret");
  EXPECT_EQ(rec->strSigRcpPasswordL, 6);
  EXPECT_EQ(rec->uResult, 28);
  // Only the given bytes are copied: the id is not read past its length.
  SigRcpSsfInfo* rec2 = nullptr;
  ASSERT_EQ(h.NEWSigRcpSsfInfo("CN=IvanovXYZ", 9, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec2), 0);
  EXPECT_EQ(std::string(rec2->strSigRcpId), "CN=Ivanov");
  EXPECT_EQ(h.DELSigRcpSsfInfo(&rec), 0);
  EXPECT_EQ(rec, nullptr);
  EXPECT_EQ(h.DELSigRcpSsfInfo(&rec2), 0);
}

TEST(Records, NewWritesBeginLineAndIdDump) {
  Host h;
  SigRcpSsfInfo* rec = nullptr;
  ASSERT_EQ(h.NEWSigRcpSsfInfo("ab", 2, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 0);
  std::string log = h.since_mark();
  EXPECT_NE(log.find("SsfNEWSigRcpSsfInfo() started, strSigRcpId = 0x"), std::string::npos);
  EXPECT_NE(log.find(", strSigRcpIdL = 2, strSigRcpReserved = 0, strSigRcpReservedL = 0, "
                     "strSigRcpProfile = 0, strSigRcpProfileL = 0, strSigRcpPassword = 0, "
                     "strSigRcpPasswordL = 0, uResult = 0, ptrSigRcpSsfInfo = 0x"),
            std::string::npos);
  EXPECT_NE(log.find("\n\nstrSigRcpId: size=2: 61 62\n"), std::string::npos);
  EXPECT_NE(log.find("SsfNEWSigRcpSsfInfo() end, retcode = 0\n"), std::string::npos);
  h.DELSigRcpSsfInfo(&rec);
}

TEST(Records, OptionalStringsNeedPointerAndPositiveLength) {
  Host h;
  SigRcpSsfInfo* rec = nullptr;
  // A profile pointer with length 0, a negative reserved length and a
  // password without pointer: all absent.
  ASSERT_EQ(h.NEWSigRcpSsfInfo("id", 2, "res", -3, "profile", 0, nullptr, 5, 0, &rec), 0);
  EXPECT_EQ(rec->strSigRcpProfile, nullptr);
  EXPECT_EQ(rec->strSigRcpProfileL, 0);
  EXPECT_EQ(rec->strSigRcpReserved, nullptr);
  EXPECT_EQ(rec->strSigRcpReservedL, 0);
  EXPECT_EQ(rec->strSigRcpPassword, nullptr);
  EXPECT_EQ(rec->strSigRcpPasswordL, 0);
  h.DELSigRcpSsfInfo(&rec);
}

TEST(Records, NewRefusesMissingIdAndRecordPointer) {
  Host h;
  SigRcpSsfInfo* rec = reinterpret_cast<SigRcpSsfInfo*>(0x1);
  EXPECT_EQ(h.NEWSigRcpSsfInfo("id", 0, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 52);
  EXPECT_EQ(rec, nullptr);
  EXPECT_NE(
      h.since_mark().find(error_block("SsfNEWSigRcpSsfInfo() 1 : strSigRcpId = 0x").substr(0, 40)),
      std::string::npos);
  EXPECT_NE(h.since_mark().find(", strSigRcpIdL = 0\n"), std::string::npos);
  rec = reinterpret_cast<SigRcpSsfInfo*>(0x1);
  EXPECT_EQ(h.NEWSigRcpSsfInfo(nullptr, 4, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 52);
  EXPECT_EQ(rec, nullptr);
  h.mark();
  // A negative length never reaches an allocation.
  EXPECT_EQ(h.NEWSigRcpSsfInfo("id", -1, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 52);
  EXPECT_NE(h.since_mark().find("SsfNEWSigRcpSsfInfo() 1 : strSigRcpId = 0x"), std::string::npos);
  EXPECT_NE(h.since_mark().find(", strSigRcpIdL = -1\n"), std::string::npos);
  h.mark();
  EXPECT_EQ(h.NEWSigRcpSsfInfo("id", 2, nullptr, 0, nullptr, 0, nullptr, 0, 0, nullptr), 53);
  EXPECT_NE(h.since_mark().find(error_block("SsfNEWSigRcpSsfInfo() 0 : ptrSigRcpSsfInfo == NULL")),
            std::string::npos);
}

TEST(Records, InsertAppendsAtTail) {
  Host h;
  SigRcpSsfInformationList list = nullptr;
  for (const char* id : {"one", "two", "three"}) {
    SigRcpSsfInfo* rec = nullptr;
    ASSERT_EQ(
        h.NEWSigRcpSsfInfo(id, static_cast<SsfInt>(strlen(id)), nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 0);
    h.mark();
    ASSERT_EQ(h.INSSigRcpSsfInfo(rec, &list), 0);
    if (std::string(id) == "one") {
      EXPECT_NE(h.since_mark().find("end SsfINSSigRcpSsfInfo, list == NULL\n"), std::string::npos);
    }
    EXPECT_NE(h.since_mark().find("end SsfINSSigRcpSsfInfo, rc = 0\n"), std::string::npos);
  }
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->ptrSigRcp->strSigRcpId, "one");
  EXPECT_STREQ(list->next->ptrSigRcp->strSigRcpId, "two");
  EXPECT_STREQ(list->next->next->ptrSigRcp->strSigRcpId, "three");
  EXPECT_EQ(list->next->next->next, nullptr);

  set_sig_rcp_res_code(list, 27);
  EXPECT_EQ(list->next->ptrSigRcp->uResult, 27);

  h.mark();
  EXPECT_EQ(h.DELSigRcpSsfInfoList(&list), 0);
  EXPECT_EQ(list, nullptr);
  std::string log = h.since_mark();
  EXPECT_NE(log.find("start SsfDELSigRcpSsfInfoList. sigRcpSsfInfoList = 0x"), std::string::npos);
  EXPECT_NE(log.find("end SsfDELSigRcpSsfInfoList, rc = 0\n"), std::string::npos);
  size_t dels = 0;
  for (size_t p = log.find("end SsfDELSigRcpSsfInfo, rc = 0"); p != std::string::npos;
       p = log.find("end SsfDELSigRcpSsfInfo, rc = 0", p + 1))
    ++dels;
  EXPECT_EQ(dels, 3u);
}

TEST(Records, InsertRefusesNullRecordAndNullList) {
  Host h;
  SigRcpSsfInformationList list = nullptr;
  EXPECT_EQ(h.INSSigRcpSsfInfo(nullptr, &list), 53);
  EXPECT_NE(h.since_mark().find(error_block("SsfINSSigRcpSsfInfo() 1 : ptrSigRcpSsfInfo == NULL")),
            std::string::npos);
  SigRcpSsfInfo* rec = nullptr;
  ASSERT_EQ(h.NEWSigRcpSsfInfo("id", 2, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 0);
  h.mark();
  EXPECT_EQ(h.INSSigRcpSsfInfo(rec, nullptr), 54);
  EXPECT_NE(h.since_mark().find(error_block("SsfINSSigRcpSsfInfo() 1 : sigRcpSsfInfoList == NULL")),
            std::string::npos);
  EXPECT_EQ(h.DELSigRcpSsfInfo(&rec), 0);
}

TEST(Records, DeleteRefusesNullPointers) {
  Host h;
  EXPECT_EQ(h.DELSigRcpSsfInfo(nullptr), 53);
  EXPECT_NE(h.since_mark().find(error_block("SsfDELSigRcpSsfInfo() 1 : ptrSigRcpSsfInfo == NULL")),
            std::string::npos);
  SigRcpSsfInfo* rec = nullptr;
  h.mark();
  EXPECT_EQ(h.DELSigRcpSsfInfo(&rec), 53);
  EXPECT_NE(h.since_mark().find(error_block("SsfDELSigRcpSsfInfo() 2 : *ptrSigRcpSsfInfo == NULL")),
            std::string::npos);
  h.mark();
  EXPECT_EQ(h.DELSigRcpSsfInfoList(nullptr), 54);
  EXPECT_NE(h.since_mark().find(error_block("SsfDELSigRcpSsfInfoList() 1 : sigRcpSsfInfoList = 0")),
            std::string::npos);
  SigRcpSsfInformationList empty = nullptr;
  EXPECT_EQ(h.DELSigRcpSsfInfoList(&empty), 0);
}

TEST(Records, DeleteListStopsAtElementWithoutRecord) {
  Host h;
  SigRcpSsfInformationList list = nullptr;
  SigRcpSsfInfo* a = nullptr;
  SigRcpSsfInfo* b = nullptr;
  ASSERT_EQ(h.NEWSigRcpSsfInfo("a", 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, &a), 0);
  ASSERT_EQ(h.NEWSigRcpSsfInfo("b", 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, &b), 0);
  ASSERT_EQ(h.INSSigRcpSsfInfo(a, &list), 0);
  ASSERT_EQ(h.INSSigRcpSsfInfo(b, &list), 0);
  SigRcpSsfInformationListElement* second = list->next;
  ASSERT_EQ(h.DELSigRcpSsfInfo(&second->ptrSigRcp), 0);
  ASSERT_EQ(second->ptrSigRcp, nullptr);

  h.mark();
  EXPECT_EQ(h.DELSigRcpSsfInfoList(&list), -1);
  EXPECT_NE(
      h.since_mark().find(error_block("######################## !cur->ptrSigRcp ############")),
      std::string::npos);
  EXPECT_NE(h.since_mark().find("end SsfDELSigRcpSsfInfoList, rc = -1\n"), std::string::npos);
  // The first element is freed; the host's list now starts at the element
  // that stopped the walk, which is left to the host.
  EXPECT_EQ(list, second);
  OPENSSL_free(second);
}

TEST(Records, DeleteOctetStringToleratesNulls) {
  Host h;
  EXPECT_EQ(h.DELSsfOctetstring(nullptr, nullptr), 0);
  SsfInt len = 9;
  EXPECT_EQ(h.DELSsfOctetstring(nullptr, &len), 0);
  EXPECT_EQ(len, 0);
  unsigned char* data = nullptr;
  EXPECT_EQ(h.DELSsfOctetstring(&data, nullptr), 0);
  data = static_cast<unsigned char*>(OPENSSL_malloc(4));
  len = 4;
  EXPECT_EQ(h.DELSsfOctetstring(&data, &len), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(h.since_mark(), "");  // no trace lines
}

TEST(Records, SetResultCodeSkipsElementsWithoutRecord) {
  SigRcpSsfInfo rec{};
  SigRcpSsfInformationListElement last{nullptr, &rec};
  SigRcpSsfInformationListElement hole{&last, nullptr};
  set_sig_rcp_res_code(&hole, 28);
  EXPECT_EQ(rec.uResult, 28);
  set_sig_rcp_res_code(nullptr, 28);  // empty list: nothing
}
