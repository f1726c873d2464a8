#include "ServerFixture.h"

#include "wire/FrameText.h"

using Fields = QByteArrayList;

namespace {

// A company larger than any fixed bound on a list would allow, and whose list
// is many times the bound on what may wait unsent for a client.
class BigCompanyTest : public ServerFixture {
protected:
    static constexpr int People = 5110;
    static constexpr int Departments = 10;

    QByteArray accounts() override { return CompanyAccounts(People, Departments); }
    ServerOptions options() override
    {
        ServerOptions options = ServerFixture::options();
        options.maxUnsentBytes = 16 * 1024;
        return options;
    }

    // Logs on and waits for the whole list; its nodes, LSETS and LSETE left out.
    std::unique_ptr<TestClient> logOnWithList(const QByteArray &userId, QList<Fields> *nodes)
    {
        auto client = newClient();
        EXPECT_EQ(client->logOn(userId, "pw"), 0);
        EXPECT_TRUE(client->take("LSETE", {}, 30000));
        for (const Fields &f : client->kept())
            if (f.value(0) == "LSETD")
                nodes->append(f);
        client->forget();
        return client;
    }
};

} // namespace

TEST_F(BigCompanyTest, UserWhoAddsAGroupToTheWholeCompanyListKeepsIt)
{
    QList<Fields> sent;
    auto client = logOnWithList("c1", &sent);
    ASSERT_EQ(sent.size(), People + Departments);

    // The list as the client uploads it back (kind, id, depth, name), plus a group.
    QByteArrayList upload;
    for (const Fields &f : sent)
        upload.append(MakeFrame({"LSETD", f[1], f[3], f[2], f[4], ""}, TrailingTab::Yes));
    upload.append(MakeFrame({"LSETD", "UG", "", "0", "new group", ""}, TrailingTab::Yes));
    client->send("LSETS");
    for (const QByteArray &frame : upload)
        client->send(frame);
    client->send("LSETE");
    ASSERT_TRUE(client->sync());
    ASSERT_TRUE(client->isConnected());
    client->disconnect();

    QList<Fields> stored;
    auto again = logOnWithList("c1", &stored);
    ASSERT_EQ(stored.size(), People + Departments + 1);
    EXPECT_EQ(stored.back().mid(1, 5), (Fields{"UG", "0", "", "", "new group"}));
}

TEST_F(BigCompanyTest, LogonCompletesWhateverTheBoundOnUnsentBytes)
{
    std::vector<std::unique_ptr<TestClient>> colleagues;
    for (const char *id : {"c2", "c3", "c4"}) {
        colleagues.push_back(newClient());
        ASSERT_EQ(colleagues.back()->logOn(id, "pw"), 0);
    }
    auto client = newClient();
    ASSERT_EQ(client->logOn("c1", "pw"), 0) << "the answer is the server's own, never a backlog of the client";
    ASSERT_TRUE(client->take("UADD", [](const Fields &f) { return f.value(2) == "c1"; }, 30000));
    QByteArrayList codes;
    for (const Fields &f : client->kept())
        if (codes.isEmpty() || codes.back() != f.value(0))
            codes.append(f.value(0));
    EXPECT_EQ(codes, (QByteArrayList{"002", "LSETS", "LSETD", "LSETE", "UADD"}));
    EXPECT_EQ(client->kept().size(), 3 + People + Departments + 3) << "the colleagues' UADDs, then the own";
    client->forget();
    EXPECT_TRUE(client->sync());
    EXPECT_TRUE(client->isConnected());
}
