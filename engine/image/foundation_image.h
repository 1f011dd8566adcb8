// Rebuilding the foundation image from recovery media: whichever shape the
// medium holds (a full "INSTALL.WIM", a split "Install.swm" set, a ready
// "Norv.wim", or split foundation parts "Norv1.nr2", ... possibly spread
// over several discs) becomes one "Norv.wim" in the destination folder.
#pragma once

#include <cstdint>
#include <string>

#include "halcyon/HalcyonDLL.h"
#include "support/courier/wim_interface.h"
#include "support/ini/ini_store.h"

namespace halcyon::image {

// Message sent to ask the user for disc n (parameter n).
inline constexpr uint32_t kInsertDiscMessage = 1004;
// Name of the image left in the destination folder.
inline constexpr const char *kFoundationImageName = "Norv.wim";
// The image exported from a full or split WIM.
inline constexpr const char *kFoundationDescription = "FOUNDATION IMAGE 1";

class CGetFoundationImage {
public:
    // `source` and `dest` end with a backslash. The stores stay the
    // caller's and must outlive this object.
    CGetFoundationImage(const std::string &source, const std::string &dest, const std::string &exportArg,
                        const support::CMemoryIniIO *plan, const support::CMemoryIniIO *nrvhdrcv,
                        const std::string &logPath, const std::string &mediaType, WimCourierCallback callback,
                        void *callbackData);
    // Waits for and releases the WIM interface.
    ~CGetFoundationImage();
    CGetFoundationImage(const CGetFoundationImage &) = delete;
    CGetFoundationImage &operator=(const CGetFoundationImage &) = delete;

    // Takes the first shape found in the source folder and leaves
    // "Norv.wim" in the destination folder. A return code.
    int32_t GetFoundationImage();

    // Finds the release folder on the media list, asks for the discs that
    // name it and, when it is named more than once, gathers its copies into
    // `gatherFolder` (`copy` true). 0, 9 without the media description.
    int32_t CheckFIFolderInNrvhdrcvIniFile(const std::string &source, const std::string &gatherFolder, bool &copy);
    // Joins the parts in `folder` into `target`: 0, or 125.
    int32_t CombineParts(const std::string &folder, const std::string &target);
    // Exports the image described "FOUNDATION IMAGE 1": 0, or 126.
    int32_t ExportImage(const std::string &sourceWim, const std::string &target);
    // Counts the "*.nr2" entries of `folder`; false (logged) when it is missing.
    bool CountPartFiles(const std::string &folder, int &count);
    // Counts the ".nr2" entries of "SOURCE"/"FIPart". 0.
    int32_t CountListedParts(int &count);
    // Copies every listed part from its disc into `gatherFolder`. Failures
    // are logged and passed over (0); an entry whose name would leave the
    // folders gives RETURN_UNSAFE_PATH.
    int32_t GatherPartsFromMedia(const std::string &source, const std::string &gatherFolder);

private:
    void Log(const std::string &text) const;
    std::string MediaSection() const { return "MEDIA:" + mediaType_; }
    std::string MediaKey(int n) const { return mediaType_ + std::to_string(n); }
    // The value of media key n, or false when the key is absent.
    bool ReadMediaKey(int n, std::string &value) const;
    // Sends the disc request for disc n until its marker file exists in
    // `source`. False (logged) when the marker cannot be waited for.
    bool WaitForDisc(const std::string &source, int n, bool logEachCheck);
    // Copies "Norv.wim" of the source over the target. 0 or 43.
    int32_t CopyReadyImage(const std::string &from);
    // Removes the gathering folder (when it exists), never through a link.
    void RemoveGatherFolder(const std::string &folder) const;
    // True when `path` stays below `root` with no symbolic link below it;
    // otherwise logged "(RETURN_UNSAFE_PATH)" and false.
    bool Confined(const std::string &root, const std::string &path) const;

    std::string source_;
    std::string dest_;
    std::string logPath_;
    std::string targetImage_;
    std::string exportArg_;
    std::string mediaType_;
    std::string releaseFolder_;
    bool releaseValid_ = false;
    const support::CMemoryIniIO *plan_;
    const support::CMemoryIniIO *m_pNrvhdrcvIni;
    support::courier::CWimInterface wim_;
    WimCourierCallback callback_;
    void *callbackData_;
};

} // namespace halcyon::image
