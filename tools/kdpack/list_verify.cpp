// kdpack list and verify: the package decoded straight into the script check,
// with nothing of the script kept but what the checks need.
#include <algorithm>
#include <cstdlib>

#include "codec/decoder.h"
#include "script/folded_paths.h"
#include "script/line2.h"
#include "script/rules.h"
#include "tools/kdpack/commands.h"
#include "tools/kdpack/kdpack.h"
#include "tools/kdpack/script_check.h"
#include "util/files.h"

namespace kd::kdpack {

namespace {

// Decodes the package into the script check. The container's own faults
// become problems of line 0. Returns the decoder's result, -1 when the
// package cannot be opened.
int ReadPackage(Io& io, const std::string& path, ScriptCheck& check) {
    platform::Stream input = util::OpenFileShared(path.c_str(), "rb");
    if (!input) {
        Fail(io, "cannot open %s", path.c_str());
        return -1;
    }
    ProgressSource source(io, "reading", input.get());
    codec::PackageDecoder decoder;
    const int result = decoder.Decode(source, check, 0);
    if (result != codec::DecodeOk) {
        // The installer stops at this failure: "Cannot decompress package file".
        check.Problem(0, std::string("cannot decompress: ") + DecodeMeaning(result), true);
    } else if (decoder.OutputCount() > decoder.DeclaredLength()) {
        check.Problem(0, "the stream decodes " + std::to_string(decoder.OutputCount() - decoder.DeclaredLength()) +
                             " bytes past its declared length; the installer would take them into the script");
    }
    // After a failed decode the last line is a fragment: only a whole script is finished.
    if (result == codec::DecodeOk) check.Finish();
    return result;
}

// Loads the keys of --key; false after saying which one is not a P-256 public key.
bool LoadPublicKeys(Io& io, const std::vector<std::string>& paths, std::vector<platform::PublicKey>& keys) {
    for (const std::string& keyPath : paths) {
        std::string pem;
        keys.emplace_back();
        if (!ReadKeyFile(keyPath, pem) || pem.empty() || !keys.back().Load(pem)) {
            Fail(io, "%s holds no P-256 public key in PEM", keyPath.c_str());
            return false;
        }
    }
    return true;
}

// The signature verdict. With keys, a package an installer built with them
// would refuse is a problem; without, a signature decides nothing.
void ReportSignature(Io& io, const std::string& path, const std::vector<platform::PublicKey>& keys,
                     ScriptCheck& check) {
    const script::DigestLine& line = check.LineTwo();
    const bool signedLine = line.hasDigest && line.field != script::SignatureField::None;
    if (keys.empty()) {
        if (signedLine) std::fprintf(io.out, "%s: signed, not checked (no --key)\n", path.c_str());
        return;
    }
    const int signer = check.digest == ScriptCheck::Digest::Matches ? script::SigningKey(line, keys) : -1;
    if (signer >= 0) {
        std::fprintf(io.out, "%s: signature good (key %s)\n", path.c_str(),
                     script::Fingerprint(keys[static_cast<std::size_t>(signer)]).c_str());
        return;
    }
    std::fprintf(io.out, "%s: %s\n", path.c_str(), signedLine ? "signature bad" : "not signed");
    check.Refuse();
}

}  // namespace

int List(Io& io, const std::vector<std::string>& args) {
    std::vector<std::string> positional, codePages;
    const int understood = ParseArguments(
        io, ListHelp, args, {{"--code-page", "--code-page needs a number", &codePages}}, positional);
    if (understood >= 0) return understood;
    script::CodePage codePage;
    if (!ReadCodePage(io, ListHelp, codePages, codePage)) return KdpackUsage;
    if (positional.size() != 1) return Usage(io, ListHelp, "list needs PKG");
    // Only counts: no set of paths, so memory stays flat however long the script.
    ScriptCheck check(static_cast<std::size_t>(DefaultDestination), {}, false, codePage);
    check.onCommand = [&io, &codePage](const script::ScriptCommand& command) {
        BeforeOutput(io);
        const char* name = script::CommandName(command.command);
        const std::string shown = codePage.Shown(command.name);
        if (command.command == script::Command::File) {
            std::fprintf(io.out, "%-10s %s %lld\n", name, shown.c_str(), static_cast<long long>(command.size));
        } else {
            std::fprintf(io.out, "%-10s %s\n", name, shown.c_str());
        }
    };
    const int result = ReadPackage(io, positional[0], check);
    if (result < 0) return KdpackFailed;
    if (result != codec::DecodeOk && result != codec::DecodeTruncated) {
        Fail(io, "cannot decompress %s: %s (result %d)", positional[0].c_str(), DecodeMeaning(result), result);
        return KdpackFailed;
    }
    std::fprintf(io.out,
                 "%llu commands: %llu directories, %llu files (%llu bytes), %llu text conversions; script %llu bytes\n",
                 static_cast<unsigned long long>(check.commandCount),
                 static_cast<unsigned long long>(check.directoryCount),
                 static_cast<unsigned long long>(check.fileCount),
                 static_cast<unsigned long long>(check.fileBytes),
                 static_cast<unsigned long long>(check.textCount),
                 static_cast<unsigned long long>(check.scriptBytes));
    if (check.problemCount != 0)
        Fail(io, "%llu problem%s%s; kdpack verify %s shows them",
             static_cast<unsigned long long>(check.problemCount), check.problemCount == 1 ? "" : "s",
             check.Refused() ? ", and the installer rejects the package" : "", positional[0].c_str());
    return result == codec::DecodeOk ? KdpackOk : KdpackFailed;
}

int Verify(Io& io, const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::vector<std::string> roles, keyPaths, roleNames, lengths, codePages;
    const int understood = ParseArguments(
        io, VerifyHelp, args,
        {{"--key", "--key needs a public key", &keyPaths},
         {"--code-page", "--code-page needs a number", &codePages},
         {"--as", "--as needs core or window", &roleNames},
         {"--destination-length", "--destination-length needs a number", &lengths}},
        positional);
    if (understood >= 0) return understood;
    for (const std::string& role : roleNames) {
        if (role != "core" && role != "window") return Usage(io, VerifyHelp, "--as takes core or window");
        roles = {script::PackageName(role == "core" ? script::Role::Core : script::Role::Window)};
    }
    long destination = DefaultDestination;
    for (const std::string& value : lengths) {
        char* end = nullptr;
        destination = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || destination < ShortestDestination || destination > LongestDestination)
            return Usage(io, VerifyHelp, ("--destination-length takes a number from " +
                                          std::to_string(ShortestDestination) + " to " +
                                          std::to_string(LongestDestination)).c_str());
    }
    script::CodePage codePage;
    if (!ReadCodePage(io, VerifyHelp, codePages, codePage)) return KdpackUsage;
    if (positional.size() != 1) return Usage(io, VerifyHelp, "verify needs PKG");
    const std::string& path = positional[0];
    std::vector<platform::PublicKey> keys;
    if (!LoadPublicKeys(io, keyPaths, keys)) return KdpackFailed;
    // The installer reads its packages by two names only; its copy of the
    // script is named after the one it read.
    if (roles.empty()) {
        const std::string name = script::UpperCaseName(script::PackageFileName(path));
        for (const script::Role role : {script::Role::Core, script::Role::Window}) {
            if (name == script::UpperCaseName(script::PackageName(role))) roles = {script::PackageName(role)};
        }
    }
    if (roles.empty()) roles = {script::CorePackage, script::WindowPackage};
    ScriptCheck check(static_cast<std::size_t>(destination), roles, true, codePage);
    const int result = ReadPackage(io, path, check);
    if (result < 0) return KdpackFailed;

    std::stable_sort(check.problems.begin(), check.problems.end(),
                     [](const ScriptProblem& a, const ScriptProblem& b) { return a.line < b.line; });
    for (const ScriptProblem& problem : check.problems) {
        // The names in a message are the script's bytes, shown as names are here.
        const std::string message = codePage.Shown(problem.message);
        if (problem.line == 0)
            std::fprintf(io.out, "%s: %s\n", path.c_str(), message.c_str());
        else
            std::fprintf(io.out, "%s:%llu: %s\n", path.c_str(), static_cast<unsigned long long>(problem.line),
                         message.c_str());
    }
    if (check.problemCount > check.problems.size())
        std::fprintf(io.out, "%s: %llu more problems not shown\n", path.c_str(),
                     static_cast<unsigned long long>(check.problemCount - check.problems.size()));
    if (check.digest == ScriptCheck::Digest::None && result == codec::DecodeOk && check.HasLineTwo())
        std::fprintf(io.out, "%s: no digest: line 2 holds no kdpack digest\n", path.c_str());
    else if (check.digest == ScriptCheck::Digest::Matches)
        std::fprintf(io.out, "%s: digest matches\n", path.c_str());
    if (result == codec::DecodeOk) ReportSignature(io, path, keys, check);
    if (check.problemCount != 0) {
        std::string verdict = check.Refused() ? "; the installer rejects the package" : "";
        for (const std::string& role : check.PackageNames()) {
            if (!check.Refused() && check.RefusedAs(role)) verdict += "; the installer rejects the package as " + role;
        }
        std::fprintf(io.out, "%s: %llu problem%s%s\n", path.c_str(),
                     static_cast<unsigned long long>(check.problemCount), check.problemCount == 1 ? "" : "s",
                     verdict.c_str());
        return KdpackFailed;
    }
    std::fprintf(io.out, "%s: sound: %llu commands, %llu files (%llu bytes); longest path %zu characters below a destination of %ld\n",
                 path.c_str(), static_cast<unsigned long long>(check.commandCount),
                 static_cast<unsigned long long>(check.fileCount), static_cast<unsigned long long>(check.fileBytes),
                 check.longestPath, destination);
    return KdpackOk;
}

}  // namespace kd::kdpack
