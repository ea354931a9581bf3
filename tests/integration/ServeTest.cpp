// `halvixctl serve` with three real halvix processes, each on its own simulator: the API lists,
// scans, sees a held port and forgets a brick that quit; headless Chromium shows the page.
#include "HalvixProcess.h"

#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ServeProcess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace serveintegration {

using integration::HalvixProcess;
using nlohmann::json;
using namespace std::chrono_literals;

struct Brick {
    std::unique_ptr<test::SimProcess> sim;
    std::unique_ptr<HalvixProcess> halvix; // after sim: stopped first
    int id = 0;                             // its id in the API
};

size_t count(const std::string& text, const std::string& part)
{
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++found;
    return found;
}

/// Runs headless Chromium on `url` with a fresh profile and `extra` arguments; its standard
/// output (the DOM for --dump-dom). The page's polling timers run on virtual time, fetches
/// hold that time until they are answered, so the DOM is the one after its first refresh.
std::string runChromium(const std::string& url, const std::vector<std::string>& extra)
{
    std::string browser;
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (browser.empty() && ::access(path, X_OK) == 0)
            browser = path;
    if (browser.empty()) {
        ADD_FAILURE() << "chromium is not installed; scripts/setup.sh installs it";
        return {};
    }
    TempDir profile;
    std::vector<std::string> arguments = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                          "--no-first-run", "--disable-background-networking",
                                          "--disable-component-update", "--disable-sync",
                                          "--user-data-dir=" + profile.path(), "--virtual-time-budget=10000"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back(url);
    test::ChildProcess browserProcess(browser, arguments);
    EXPECT_EQ(browserProcess.wait(120s), 0) << browserProcess.errors();
    return browserProcess.output();
}

/// The part of the page's DOM that belongs to the brick with `id`.
std::string sectionOf(const std::string& dom, int id)
{
    const size_t start = dom.find("id=\"brick-" + std::to_string(id) + "\"");
    if (start == std::string::npos)
        return {};
    const size_t end = dom.find("<section", start);
    return dom.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

class ServeWithThreeBricks : public ::testing::Test {
protected:
    /// halvixctl serve on `address` (bricks on :6666, HTTP on :8080) and three halvix processes
    /// dialling it, each on its own simulator: the reference rig, the empty rig, one card.
    void start(const std::string& address)
    {
        serve = std::make_unique<test::ServeProcess>(address, 8080);
        ASSERT_TRUE(serve->ready()) << serve->process().errors();
        const std::pair<const char*, const char*> rigs[] = {{"reference", "sim/rigs/reference.json"},
                                                            {"empty", "sim/rigs/empty.json"},
                                                            {"small", "tests/integration/rigs/asi_card.json"}};
        for (const auto& [name, rig] : rigs) {
            Brick& brick = bricks[name];
            brick.sim = std::make_unique<test::SimProcess>(test::sourcePath(rig));
            ASSERT_TRUE(brick.sim->ready()) << brick.sim->error();
            brick.sim->exportRunDir(); // the halvix started next inherits it
            brick.halvix = std::make_unique<HalvixProcess>(std::vector<std::string>{
                "--server_address", address, "--local_address", address, "--app_id", name});
            ASSERT_TRUE(brick.halvix->started());
        }
        const json listed = serve->waitForBricks([](const json& list) {
            const auto idle = [](const json& brick) { return brick["state"] == "idle"; };
            return list.size() == 3 && std::all_of(list.begin(), list.end(), idle);
        });
        ASSERT_EQ(listed.size(), 3u) << listed.dump() << serve->process().errors();
        for (const json& entry : listed)
            bricks.at(entry["appId"].get<std::string>()).id = entry["id"];
        for (const auto& [name, brick] : bricks)
            ASSERT_NE(brick.id, 0) << name << " not listed: " << listed.dump();
    }

    Brick& brick(const std::string& name) { return bricks.at(name); }
    std::string path(const std::string& name, const std::string& tail)
    {
        return "/api/bricks/" + std::to_string(brick(name).id) + tail;
    }
    /// POST .../scan; the report.
    json scan(const std::string& name, const std::string& options = "{}")
    {
        const test::ApiReply reply = serve->post(path(name, "/scan"), options);
        EXPECT_EQ(reply.status, 200) << name << ": " << reply.body;
        EXPECT_TRUE(reply.json.is_array()) << reply.body;
        return reply.json;
    }

    std::unique_ptr<test::ServeProcess> serve;
    std::map<std::string, Brick> bricks; // by app id; after serve: stopped first
};

} // namespace serveintegration

using serveintegration::ServeWithThreeBricks;
using serveintegration::count;
using serveintegration::runChromium;
using serveintegration::sectionOf;
using nlohmann::json;

TEST_F(ServeWithThreeBricks, TheApiAndThePageListScanSeeAHeldPortAndForgetABrickThatQuit)
{
    ASSERT_NO_FATAL_FAILURE(start("127.0.91.1"));
    // Each brick answers with its own rig's report, and the inventory is that report as sent.
    // How serve lists a brick's announcement is tests/tools/ServeTest.cpp's, what halvix
    // announces Halvix.AnnouncesItself... (HalvixJsonRpcTest).
    const json reference = scan("reference");
    EXPECT_EQ(reference.size(), 62u);
    EXPECT_EQ(scan("empty"), json::array());
    const json small = scan("small", R"({"nic": false, "dte": false})");
    ASSERT_EQ(small.size(), 4u) << small.dump();
    EXPECT_EQ(small[0]["deviceName"], "VDA-2144:1");
    EXPECT_EQ(small[0]["serial"], "2144000903");
    const test::ApiReply inventory = serve->get(path("reference", "/inventory"));
    EXPECT_EQ(inventory.status, 200);
    EXPECT_EQ(inventory.json, reference);
    EXPECT_NE(inventory.body.find(R"({"category":"VDA","deviceName":)"), std::string::npos) << "key order changed";
    // A real scan takes time; the stand-ins of tests/tools answer at once.
    EXPECT_GT(serve->get(path("reference", "")).json.value("lastScanMs", int64_t(0)), 0);

    // A port taken by another user is busy at the next scan, whose report replaces the first
    // (the page's busy filter below finds it). Headless Chromium shows every brick on the page.
    EXPECT_TRUE(brick("small").sim->command("hold 2144000903 2"));
    scan("small");

    const std::string dom = runChromium(serve->url("/"), {"--dump-dom"});
    ASSERT_NE(dom.find("data-loaded=\"true\""), std::string::npos) << "the page's script did not run:\n" << dom;
    EXPECT_EQ(count(dom, "<section class=\"brick\""), 3u) << dom;
    EXPECT_NE(dom.find("3 bricks connected"), std::string::npos);
    const std::string referenceSection = sectionOf(dom, brick("reference").id);
    EXPECT_EQ(count(referenceSection, "<tr class=\"entry\""), 62u);
    EXPECT_NE(referenceSection.find("62 of 62 entries shown"), std::string::npos);
    EXPECT_NE(referenceSection.find(">VDA-2179:1-4<"), std::string::npos);
    EXPECT_NE(sectionOf(dom, brick("empty").id).find("0 of 0 entries shown"), std::string::npos);
    EXPECT_EQ(count(sectionOf(dom, brick("small").id), "<tr class=\"entry\""), 4u);

    // The filters come from the query: only SDI rows, and only the busy port of the small rig.
    size_t sdi = 0;
    for (const json& entry : reference)
        sdi += entry["type"] == "SDI";
    ASSERT_GT(sdi, 0u);
    const std::string filtered = runChromium(serve->url("/?kind=SDI"), {"--dump-dom"});
    EXPECT_EQ(count(sectionOf(filtered, brick("reference").id), "<tr class=\"entry\""), sdi);
    EXPECT_EQ(count(filtered, "data-kind=\""), count(filtered, "data-kind=\"SDI\""));
    EXPECT_NE(filtered.find(std::to_string(sdi) + " of 62 entries shown"), std::string::npos);
    const std::string busy = runChromium(serve->url("/?free=busy&family=VDA"), {"--dump-dom"});
    const std::string smallBusy = sectionOf(busy, brick("small").id);
    EXPECT_EQ(count(smallBusy, "<tr class=\"entry\""), 1u) << smallBusy;
    EXPECT_NE(smallBusy.find(">VDA-2144:2<"), std::string::npos) << smallBusy;

    // A screenshot for the README, in the build tree.
    const std::string png = std::filesystem::absolute("serve-page.png").string();
    std::filesystem::remove(png);
    runChromium(serve->url("/"), {"--screenshot=" + png, "--window-size=1280,1000", "--hide-scrollbars"});
    std::ifstream file(png, std::ios::binary);
    std::string header(8, '\0');
    file.read(header.data(), 8);
    EXPECT_EQ(header, std::string("\x89PNG\r\n\x1a\n", 8)) << "no screenshot at " << png;
    std::error_code missing;
    EXPECT_GT(std::filesystem::file_size(png, missing), 10000u);
    std::cout << "screenshot: " << png << "\n";

    // A brick that quits leaves the list as soon as the request is answered.
    const test::ApiReply quit = serve->post(path("empty", "/quit"));
    EXPECT_EQ(quit.status, 200) << quit.body;
    EXPECT_EQ(brick("empty").halvix->wait(), 0);
    const json left = serve->get("/api/bricks").json;
    ASSERT_EQ(left.size(), 2u) << left.dump();
    for (const json& entry : left)
        EXPECT_NE(entry["appId"], "empty");
    // An orderly stop with two bricks still connected.
    EXPECT_EQ(serve->stop(), 0) << serve->process().errors();
}
