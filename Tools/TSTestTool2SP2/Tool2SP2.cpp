// TSTestTool2SP2: the Folio resource operations over SOAP 2.0.
#include "Tester2/Soap2ToolRegistry.h"

namespace tessel::tools {

namespace {

using namespace tester2;

Soap2ToolDefinition Make()
{
    // The attribute boxes: PutVOResourcewithAttribute reads all nine, the
    // update and the removal the first seven.
    const std::vector<Param> attributes7 = {"AttributeNameText",    "AttributeModuleNameText", "AttributeCreatorText",
                                            "AttributeVersionText", "AttributeTypeText",       "AttributeIDText",
                                            "AttributeDescriptionText"};
    std::vector<Param> attributes9 = attributes7;
    attributes9.insert(attributes9.end(), {"AttributeURLLeafText", "AttributePropsText"});

    return {
        .program = "TSTestTool2SP2",
        .version = {.comments = "TesselService V1.1 SOAP 2.0 TestTool",
                    .fileDescription = "TestTool SOAP 2.0 for TesselService V1.1",
                    .fileVersion = "1.01",
                    .productVersion = "1.01",
                    .internalName = "TSTestTool2SP2"},
        .caption = "TesselService TestTool of ResourceDB for SOAP 2.0",
        .clientWidth = 7620,
        .clientHeight = 10260,
        .wsdlRect = {600, 120, 4875, 315},
        .connectRect = {5640, 120, 1815, 375},
        .separatorTop = 8400,
        .resultRect = {120, 8640, 7335, 1455},
        .sessionFailurePointer = SessionFailurePointer::AfterBox,
        .boxes =
            {
                {.name = "GetVOResourceURLNameText", .text = "name", .rect = {1920, 1560, 2055, 375}},
                {.name = "RemoveVOResourceNameText", .text = "name", .rect = {1920, 2040, 2055, 375}},
                {.name = "GetVOResourceAttributeNameText", .text = "name", .rect = {2400, 2520, 2415, 375}},
                {.name = "GetVOResourceAttributeListModuleNameText",
                 .text = "modulename",
                 .rect = {2760, 3000, 2895, 375}},
                {.name = "UpdateVOResourceURLNameText", .text = "name", .rect = {2400, 4080, 1935, 375}},
                {.name = "UpdateVOResourceURLURLLeafText", .text = "urlleaf", .rect = {4440, 4080, 3015, 375}},
                {.name = "UpdateVOResourcePropsNameText", .text = "name", .rect = {2400, 4680, 1935, 375}},
                {.name = "UpdateVOResourcePropsPropsText", .text = "props", .rect = {4440, 4680, 3015, 375}},
                {.name = "AttributeNameText", .text = "name", .rect = {2640, 5400, 1695, 375}},
                {.name = "AttributeModuleNameText", .text = "modulename", .rect = {4440, 5400, 3015, 375}},
                {.name = "AttributeCreatorText", .text = "creator", .rect = {2640, 5880, 1695, 375}},
                {.name = "AttributeVersionText", .text = "version", .rect = {4440, 5880, 1335, 375}},
                {.name = "AttributeTypeText", .text = "type", .rect = {5880, 5880, 1575, 375}},
                {.name = "AttributeIDText", .text = "id", .rect = {2640, 6360, 4815, 375}},
                {.name = "AttributeDescriptionText", .text = "description", .rect = {2640, 6840, 4815, 375}},
                {.name = "AttributeURLLeafText", .text = "urlleaf", .rect = {2640, 7320, 4815, 375}},
                {.name = "AttributePropsText", .text = "props", .rect = {2640, 7800, 4815, 375}},
            },
        .rows =
            {
                {.button = "btnGetVOResourceURL",
                 .method = "GetVOResourceURL",
                 .params = {"GetVOResourceURLNameText"},
                 .rect = {120, 1560, 1695, 375},
                 .titles = {"GetVOResourceURL Result", "result of GetVOResourceURL", "Error on GetVOResourceURL"}},
                {.button = "btnRemoveVOResource",
                 .method = "RemoveVOResource",
                 .params = {"RemoveVOResourceNameText"},
                 .rect = {120, 2040, 1695, 375},
                 .titles = {"RemoveVOResource Result", "result of RemoveVOResource", "Error on RemoveVOResource"}},
                {.button = "btnGetVOResourceAttribute",
                 .method = "GetVOResourceAttribute",
                 .params = {"GetVOResourceAttributeNameText"},
                 .rect = {120, 2520, 2175, 375},
                 .titles = {"GetVOResourceAttribute Result", "result of GetVOResourceAttribute",
                            "Error on GetVOResourceAttribute"}},
                {.button = "btnGetVOResourceAttributeList",
                 .method = "GetVOResourceAttributeList",
                 .params = {"GetVOResourceAttributeListModuleNameText"},
                 .rect = {120, 3000, 2535, 375},
                 .titles = {"GetVOResourceAttributeList Result", "result of GetVOResourceAttributeList",
                            "Error on GetVOResourceAttributeList"}},
                {.button = "btnGetAllVOResourceAttributeList",
                 .method = "GetAllVOResourceAttributeList",
                 .rect = {120, 3480, 3135, 375},
                 .titles = {"GetAllVOResourceAttributeList Result", "result of GetAllVOResourceAttributeList",
                            "Error on GetAllVOResourceAttributeList"}},
                {.button = "btnGetVOResourceModuleNameList",
                 .method = "GetVOResourceModuleNameList",
                 .rect = {3480, 3480, 3975, 375},
                 .titles = {"GetVOResourceModuleNameList Result", "result of GetVOResourceModuleNameList",
                            "Error on GetVOResourceModuleNameList"}},
                {.button = "btnUpdateVOResourceURL",
                 .method = "UpdateVOResourceURL",
                 .params = {"UpdateVOResourceURLNameText", "UpdateVOResourceURLURLLeafText"},
                 .rect = {120, 4080, 2175, 375},
                 .titles = {"UpdateVOResourceURL Result", "result of UpdateVOResourceURL",
                            "Error on UpdateVOResourceURL"}},
                {.button = "btnUpdateVOResourceProps",
                 .method = "UpdateVOResourceProps",
                 .params = {"UpdateVOResourcePropsNameText", "UpdateVOResourcePropsPropsText"},
                 .rect = {120, 4680, 2175, 375},
                 .titles = {"UpdateVOResourceProps Result", "result of UpdateVOResourceProps",
                            "Error on UpdateVOResourceProps"}},
                {.button = "btnPutVOResourcewithAttribute",
                 .method = "PutVOResourcewithAttribute",
                 .params = attributes9,
                 .rect = {120, 5400, 2415, 375},
                 .titles = {"PutVOResourcewithAttribute Result", "result of PutVOResourcewithAttribute",
                            "Error on PutVOResourcewithAttribute"}},
                {.button = "btnUpdateVOResourceAttribute",
                 .method = "UpdateVOResourceAttribute",
                 .params = attributes7,
                 .rect = {120, 5880, 2415, 375},
                 .titles = {"UpdateVOResourceAttribute Result", "result of UpdateVOResourceAttribute",
                            "Error on UpdateVOResourceAttribute"}},
                {.button = "btnRemoveVOResourceAttribute",
                 .method = "RemoveVOResourceAttribute",
                 .params = attributes7,
                 .rect = {120, 6360, 2415, 375},
                 .titles = {"RemoveVOResourceAttribute Result", "result of RemoveVOResourceAttribute",
                            "Error on RemoveVOResourceAttribute"}},
            },
    };
}

[[maybe_unused]] const bool registered = RegisterSoap2Tool(Make);

}  // namespace

}  // namespace tessel::tools
