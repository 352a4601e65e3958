// cartscope publish, run as a user runs it: the update server's tree that the
// program's updater reads, its signature, and the inputs it refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/wait.h>

#include "core/release_database.h"
#include "core/tests/support/pe_builder.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"

using namespace cartscope;
using namespace cartscope::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    writeFile(path, Bytes(text.begin(), text.end()));
}

std::string quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The value of `key` as the updater's version file reader takes it: what
// follows the first "key:" anywhere in the text, up to the next CR LF.
std::string updaterValue(const std::string& text, const std::string& key) {
    const std::size_t found = text.find(key + ":");
    if (found == std::string::npos) return "(missing)";
    const std::size_t start = found + key.size() + 1;
    const std::size_t end = text.find("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Every file under a folder with its bytes: what a refused run must leave.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[entry.path().string()] = entry.is_regular_file() ? slurp(entry.path()) : "(folder)";
    return files;
}

Bytes databaseOf(std::uint16_t version) {
    Release release;
    release.gameCode = "KSCE";
    release.fields = {"NTR-KSCE-USA", "Star Courier", "USA", "Action", "Velmora", "1", "No", "0001", "Cartscope", ""};
    Bytes bytes;
    buildDatabase(version, {release}, bytes);
    return bytes;
}

Bytes peWithTables(std::uint16_t machine, const std::u16string& english, const std::u16string& german) {
    VersionSpec version;
    version.tables = {{u"040904B0", {{u"FileVersion", english}}}, {u"040704E4", {{u"FileVersion", german}}}};
    version.translations = std::vector<std::uint32_t>{0x04B00409u, 0x04E40407u};
    PeLayout layout;
    layout.machine = machine;
    layout.pe32Plus = machine == 0x8664;
    layout.versions = {{0x0409, buildVersionBlock(versionInfo(version))}};
    return buildPe(layout);
}

class PublishTest : public ::testing::Test {
protected:
    struct Outcome {
        int status = -1;
        std::string out, err;
    };

    // Runs a command line in the shell; its output is kept.
    Outcome shell(const std::string& command) {
        const auto out = dir.path() / "stdout", err = dir.path() / "stderr";
        const int raw = std::system((command + " >" + quote(out.string()) + " 2>" + quote(err.string())).c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }
    Outcome cartscope(const std::vector<std::string>& args) {
        std::string command = "timeout -k 5 60 " + quote(CARTSCOPE_CLI);
        for (const auto& arg : args) command += " " + quote(arg);
        return shell(command);
    }
    Outcome publish(const std::string& site, const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"publish",    "--program", program, "--library", library,
                                         "--database", database,    "-o",    site};
        args.insert(args.end(), more.begin(), more.end());
        return cartscope(args);
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        writeFile(dir.path() / name, bytes);
        return (dir.path() / name).string();
    }
    // A key made by openssl; `how` is the command after "openssl".
    std::string key(const std::string& name, const std::string& how) {
        const std::string path = (dir.path() / name).string();
        const Outcome made = shell("openssl " + how + " -out " + quote(path));
        EXPECT_EQ(made.status, 0) << how << ": " << made.err;
        return path;
    }
    std::string publicKey(const std::string& privateKey) {
        const std::string path = privateKey + ".pub";
        EXPECT_EQ(shell("openssl pkey -in " + quote(privateKey) + " -pubout -out " + quote(path)).status, 0);
        return path;
    }
    int verify(const std::string& publicKeyPath, const std::string& signature, const std::string& data) {
        return shell("openssl dgst -sha256 -verify " + quote(publicKeyPath) + " -signature " + quote(signature) + " " +
                     quote(data))
            .status;
    }

    TempDir dir;
    std::string program = file("Cartscope CMD.exe", buildProgram(u"1, 3, 0, 7"));
    std::string library = file("Cartscope.dll", buildLibrary(u"1.3.0.8"));
    std::string database = file("nds-rom.dat", databaseOf(7));
};

std::string sha256sum(const std::string& path) {
    const std::string command = "sha256sum " + quote(path);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    char line[200] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return read ? std::string(line).substr(0, 64) : std::string();
}

}  // namespace

TEST_F(PublishTest, WritesTheTreeTheUpdaterReads) {
    const fs::path site = dir.path() / "site", folder = site / "Cartscope";
    const Outcome run = publish(site.string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, (folder / "version.txt").string() + ": database 7, Cartscope CMD.exe 1.3.0.7, Cartscope.dll 1.3.0.8\n");

    for (const char* name : {"nds-rom.dat", "Cartscope CMD.exe", "Cartscope.dll"})
        EXPECT_EQ(slurp(folder / name), slurp(dir.path() / name)) << name;
    const std::string text = slurp(folder / "version.txt");
    EXPECT_EQ(text,
              "database:7\r\ncmd_exe:1.3.0.7\r\ndll:1.3.0.8\r\n"
              "database_sha256:" +
                  sha256sum(database) + "\r\n" + "cmd_exe_sha256:" + sha256sum(program) + "\r\n" +
                  "dll_sha256:" + sha256sum(library) + "\r\n");
    EXPECT_FALSE(fs::exists(folder / "version.txt.sig"));
    EXPECT_EQ(fs::directory_iterator(site)->path(), folder) << "nothing else in the site";

    // The updater's reader finds each value, and each key only where its line begins.
    const std::map<std::string, std::string> expected = {
        {"database", "7"},
        {"cmd_exe", "1.3.0.7"},
        {"dll", "1.3.0.8"},
        {"database_sha256", sha256sum(database)},
        {"cmd_exe_sha256", sha256sum(program)},
        {"dll_sha256", sha256sum(library)},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(updaterValue(text, key), value) << key;
        const std::size_t at = text.find(key + ":");
        EXPECT_TRUE(at == 0 || text.compare(at - 2, 2, "\r\n") == 0) << key << " is found inside another line";
        EXPECT_EQ(text.find(key + ":", at + 1), std::string::npos) << key;
    }
    EXPECT_EQ(updaterValue(text, "database_url"), "(missing)") << "the updater's default addresses stay";
}

TEST_F(PublishTest, UpdatesASiteInPlace) {
    const fs::path site = dir.path() / "site", folder = site / "Cartscope";
    put(site / "index.html", "home");
    put(folder / "notes.txt", "kept");
    put(folder / "nds-rom.dat", "old database");
    ASSERT_EQ(publish(site.string()).status, 0);
    EXPECT_EQ(slurp(site / "index.html"), "home");
    EXPECT_EQ(slurp(folder / "notes.txt"), "kept");
    EXPECT_EQ(slurp(folder / "nds-rom.dat"), slurp(database));

    // A new release over the old one.
    program = file("new.exe", buildProgram(u"1.4.0.0"));
    database = file("new.dat", databaseOf(8));
    ASSERT_EQ(publish(site.string()).status, 0);
    EXPECT_EQ(slurp(folder / "Cartscope CMD.exe"), slurp(program));
    EXPECT_EQ(updaterValue(slurp(folder / "version.txt"), "cmd_exe"), "1.4.0.0");
    EXPECT_EQ(updaterValue(slurp(folder / "version.txt"), "database"), "8");
    EXPECT_EQ(updaterValue(slurp(folder / "version.txt"), "cmd_exe_sha256"), sha256sum(program));

    // The bundled sample database publishes with its own version.
    const char* source = std::getenv("CARTSCOPE_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "CARTSCOPE_SOURCE_DIR is not set";
    database = (fs::path(source) / "samples" / "nds-rom.dat").string();
    const std::string sample = slurp(database);
    ASSERT_GE(sample.size(), 8u);
    ASSERT_EQ(publish(site.string()).status, 0);
    EXPECT_EQ(updaterValue(slurp(folder / "version.txt"), "database"),
              std::to_string(static_cast<unsigned char>(sample[4]) | static_cast<unsigned char>(sample[5]) << 8));
    EXPECT_EQ(slurp(folder / "nds-rom.dat"), sample);
}

TEST_F(PublishTest, TheVersionFileIsLastInPlace) {
    // The library cannot be put in place (a folder has its name): the files
    // before it are written, the version file is not.
    const fs::path site = dir.path() / "site", folder = site / "Cartscope";
    fs::create_directories(folder / "Cartscope.dll");
    const Outcome run = publish(site.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Cartscope.dll: Is a directory"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(folder / "nds-rom.dat"));
    EXPECT_FALSE(fs::exists(folder / "version.txt"));
}

TEST_F(PublishTest, SignsTheVersionFile) {
    const fs::path site = dir.path() / "site", folder = site / "Cartscope";
    const std::string version = (folder / "version.txt").string(), signature = version + ".sig";
    const std::string other = publicKey(key("other.pem", "ecparam -name prime256v1 -genkey -noout"));
    // The forms that openssl writes P-256 keys in.
    for (const char* how : {"ecparam -name prime256v1 -genkey -noout", "ecparam -name prime256v1 -genkey",
                            "genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256"}) {
        SCOPED_TRACE(how);
        const std::string privateKey = key("signing.pem", how);
        const Outcome run = publish(site.string(), {"--sign", privateKey});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(", signed\n"), std::string::npos) << run.out;
        const std::string der = slurp(signature);
        ASSERT_GE(der.size(), 8u);
        EXPECT_EQ(der[0], 0x30) << "a DER SEQUENCE";
        EXPECT_EQ(static_cast<std::size_t>(static_cast<unsigned char>(der[1])) + 2, der.size());
        EXPECT_EQ(verify(publicKey(privateKey), signature, version), 0);
        EXPECT_EQ(verify(other, signature, version), 1) << "another key's signature";

        std::string changed = slurp(version);
        changed[changed.find("1.3.0.8") + 6] = '9';
        put(dir.path() / "changed.txt", changed);
        EXPECT_EQ(verify(publicKey(privateKey), signature, (dir.path() / "changed.txt").string()), 1) << "one byte changed";
    }

    // Published again without a key: the old signature would not match.
    ASSERT_EQ(publish(site.string()).status, 0);
    EXPECT_FALSE(fs::exists(signature));
    EXPECT_TRUE(fs::exists(version));
}

TEST_F(PublishTest, RefusedInputsWriteNothing) {
    const std::string x86 = program, x64 = library;
    const std::string noVersion = file("plain.exe", buildPe(PeLayout{}));
    const std::string rom = file("game.nds", buildRom(RomSpec{}));
    const std::string shortVersion = file("short.dll", buildLibrary(u"1.3"));
    const std::string twoVersions = file("two.dll", peWithTables(0x8664, u"1.3.0.8", u"1, 3, 0, 9"));
    const std::string noGermanVersion = file("nogerman.exe", peWithTables(0x014C, u"1.3.0.7", u""));
    const std::string arm = [&] {
        PeLayout layout;
        layout.machine = 0xAA64;
        layout.pe32Plus = true;
        layout.versions = {{0x0409, buildVersionBlock(versionInfo(u"1.0.0.0"))}};
        return file("arm.dll", buildPe(layout));
    }();
    Bytes longer = databaseOf(7);
    longer.push_back(0);
    const std::string grown = file("grown.dat", longer);
    const std::string zero = file("zero.dat", databaseOf(0));
    Bytes damagedRecord = databaseOf(7);
    damagedRecord[11] = 0;       // the one game code (its first character is the key's top byte): "\0SCE"
    damagedRecord.back() = 'x';  // its record loses its last zero
    const std::string damaged = file("damaged.dat", damagedRecord);
    const std::string missing = (dir.path() / "missing").string();
    const std::string ed25519 = key("ed25519.pem", "genpkey -algorithm ed25519");
    const std::string rsa = key("rsa.pem", "genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024");
    const std::string p384 = key("p384.pem", "ecparam -name secp384r1 -genkey -noout");
    const std::string p256 = key("p256.pem", "ecparam -name prime256v1 -genkey -noout");
    const std::string locked = key("locked.pem", "ec -in " + quote(p256) + " -aes128 -passout pass:secret");
    const std::string publicOnly = publicKey(p256);

    struct Case {
        const char* what;
        std::string program, library, database;
        std::vector<std::string> more;
        std::string message;  // one line of stderr
    };
    const std::vector<Case> cases = {
        {"a 32-bit library", x86, x86, database, {}, x86 + ": not a 64-bit (x64) library: it is built for x86 (32-bit)"},
        {"a program for x64", x64, x64, database, {}, x64 + ": not a 32-bit (x86) program: it is built for x64 (64-bit)"},
        {"a library for ARM64",
         x86,
         arm,
         database,
         {},
         arm + ": not a 64-bit (x64) library: it is built for machine type 0xAA64"},
        {"no version resource", noVersion, x64, database, {}, noVersion + ": no version resource"},
        {"no PE file", rom, x64, database, {}, rom + ": not a Windows program file (no MZ header)"},
        {"a version of two numbers",
         x86,
         shortVersion,
         database,
         {},
         shortVersion + ": its FileVersion \"1.3\" is not four numbers"},
        {"two versions",
         x86,
         twoVersions,
         database,
         {},
         twoVersions + ": its version resource names two versions: 1.3.0.8 and 1.3.0.9"},
        {"a table without a version",
         noGermanVersion,
         x64,
         database,
         {},
         noGermanVersion + ": no FileVersion in one of its version resource's string tables"},
        {"no database", x86, x64, x86, {}, x86 + ": not a release database"},
        {"a database of another length",
         x86,
         x64,
         grown,
         {},
         grown + ": not a release database (its stored length is not its length)"},
        {"a damaged record", x86, x64, damaged, {}, damaged + ": not a release database: the record of \\x00SCE is damaged\n"},
        {"a database of version 0", x86, x64, zero, {}, zero + ": its version is 0"},
        {"a missing file", x86, x64, missing, {}, missing + ": No such file or directory"},
        {"a folder", x86, x64, dir.path().string(), {}, dir.path().string() + ": Is a directory"},
        {"an Ed25519 key", x86, x64, database, {"--sign", ed25519}, ed25519 + ": not an ECDSA P-256 private key"},
        {"an RSA key", x86, x64, database, {"--sign", rsa}, rsa + ": not an ECDSA P-256 private key"},
        {"a P-384 key", x86, x64, database, {"--sign", p384}, p384 + ": not an ECDSA P-256 private key"},
        {"a key with a passphrase", x86, x64, database, {"--sign", locked}, locked + ": not an ECDSA P-256 private key"},
        {"a public key", x86, x64, database, {"--sign", publicOnly}, publicOnly + ": not an ECDSA P-256 private key"},
        {"a missing key", x86, x64, database, {"--sign", missing}, missing + ": No such file or directory"},
    };

    // Once into no site at all, once over a published one.
    const fs::path fresh = dir.path() / "fresh", published = dir.path() / "published";
    ASSERT_EQ(publish(published.string(), {"--sign", p256}).status, 0);
    const auto before = snapshot(published);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        program = c.program;
        library = c.library;
        database = c.database;
        for (const fs::path& site : {fresh, published}) {
            const Outcome run = publish(site.string(), c.more);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err.find("cartscope: " + c.message), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(fresh));
            EXPECT_EQ(snapshot(published), before);
        }
    }
}

TEST_F(PublishTest, EveryRefusalIsReported) {
    // A program for x64 and a library for x86: both named, nothing written.
    std::swap(program, library);
    const Outcome run = publish((dir.path() / "site").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: " + program + ": not a 32-bit (x86) program: it is built for x64 (64-bit)\n" +
                           "cartscope: " + library + ": not a 64-bit (x64) library: it is built for x86 (32-bit)\n");
    EXPECT_FALSE(fs::exists(dir.path() / "site"));
}

TEST_F(PublishTest, UsageErrors) {
    const std::string site = (dir.path() / "site").string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"publish", "--library", library, "--database", database, "-o", site},
             {"publish", "--program", program, "--database", database, "-o", site},
             {"publish", "--program", program, "--library", library, "-o", site},
             {"publish", "--program", program, "--library", library, "--database", database},
             {"publish", "--program", program, "--library", library, "--database", database, "-o", site, "--sign"},
         }) {
        const Outcome run = cartscope(args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_FALSE(fs::exists(site));
    }
    const Outcome help = cartscope({"publish", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--sign"), std::string::npos) << help.out;
}
