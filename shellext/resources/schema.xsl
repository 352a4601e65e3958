<?xml version="1.0"?>
<!--
  Template of Cartscope.propdesc, the property descriptions that Cartscope.dll
  registers with the property system. Registration runs it with the parameter
  MODULE set to the library's full path; the descriptions do not use it.
  Keep this file ASCII: it is read in the system's ANSI code page.
-->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns="http://schemas.microsoft.com/windows/2006/propertydescription">

  <xsl:output method="xml" indent="yes"/>

  <xsl:param name="MODULE"/>

  <xsl:template match="/">
    <schema schemaVersion="1.0">
      <propertyDescriptionList publisher="Velmora" product="Cartscope">

        <propertyDescription name="Velmora.nds.genre" formatID="{{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}}" propID="1">
          <description>Genre.</description>
          <searchInfo inInvertedIndex="false" isColumn="true" isColumnSparse="true" columnIndexType="OnDisk"/>
          <typeInfo type="UInt32" canStackBy="true" groupingRange="Discrete" multipleValues="false" aggregationType="Union" isViewable="true" isQueryable="true"/>
          <labelInfo label="Genre" sortDescription="AToZ"/>
          <displayInfo defaultColumnWidth="10" displayType="Enumerated" arrangementMode="Stacked">
            <enumeratedList>
              <enum value="0" text="REG_NONE"/>
              <enum value="1" text="REG_SZ"/>
              <enum value="2" text="REG_EXPAND_SZ"/>
              <enum value="3" text="REG_BINARY"/>
            </enumeratedList>
          </displayInfo>
        </propertyDescription>

        <propertyDescription name="Windows.Registry.TypeDisplay" formatID="{{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}}" propID="4">
          <searchInfo inInvertedIndex="true"/>
          <typeInfo type="String" canStackBy="false" multipleValues="false" isQueryable="true"/>
          <labelInfo label="NDS-Type"/>
        </propertyDescription>

        <propertyDescription name="Windows.Registry.Data" formatID="{{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}}" propID="2">
          <searchInfo inInvertedIndex="true"/>
          <typeInfo type="Any" canStackBy="false" multipleValues="false" isQueryable="true"/>
          <labelInfo label="NDS-Data"/>
          <displayInfo arrangementMode="Stacked"/>
        </propertyDescription>

        <propertyDescription name="Velmora.nds.rom-code" formatID="{{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}}" propID="3">
          <searchInfo inInvertedIndex="false"/>
          <typeInfo type="String" canStackBy="false" multipleValues="false" isViewable="true" isQueryable="false"/>
          <labelInfo label="ROM-Code"/>
          <displayInfo arrangementMode="Stacked"/>
        </propertyDescription>

      </propertyDescriptionList>
    </schema>
  </xsl:template>

</xsl:stylesheet>
