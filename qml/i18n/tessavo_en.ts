<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- English forms of the counted texts: the source texts are written for many items, the
     catalogue gives the form for one. Everything else shows as written in the source. -->
<TS version="2.1" language="en">
<context>
    <name>DocumentRow</name>
    <message numerus="yes">
        <source>%1 pages · %2 · sha256 %3</source>
        <translation>
            <numerusform>%1 page · %2 · sha256 %3</numerusform>
            <numerusform>%1 pages · %2 · sha256 %3</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ImportPage</name>
    <message numerus="yes">
        <source>Remove %n document(s) and their decisions?</source>
        <translation>
            <numerusform>Remove %n document and its decision?</numerusform>
            <numerusform>Remove %n documents and their decisions?</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ReviewRow</name>
    <message numerus="yes">
        <source>%1 pages</source>
        <translation>
            <numerusform>%1 page</numerusform>
            <numerusform>%1 pages</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ReviewPage</name>
    <message numerus="yes">
        <source>%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)</source>
        <translation>
            <numerusform>%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict</numerusform>
            <numerusform>%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflicts</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message numerus="yes">
        <source>%n file(s) of the last import were not inspected. Inspect them now?</source>
        <translation>
            <numerusform>%n file of the last import was not inspected. Inspect it now?</numerusform>
            <numerusform>%n files of the last import were not inspected. Inspect them now?</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ExportFlow</name>
    <message numerus="yes">
        <source>Exported %1 documents to %2</source>
        <translation>
            <numerusform>Exported %1 document to %2</numerusform>
            <numerusform>Exported %1 documents to %2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ExportPage</name>
    <message numerus="yes">
        <source>%n document(s) still need review</source>
        <translation>
            <numerusform>%n document still needs review</numerusform>
            <numerusform>%n documents still need review</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n document(s) have conflicting suggestions</source>
        <translation>
            <numerusform>%n document has conflicting suggestions</numerusform>
            <numerusform>%n documents have conflicting suggestions</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>RulesPage</name>
    <message numerus="yes">
        <source>Add the rules of “%1” to the %n current rule(s), or replace them? Adding skips rules that are already in the list.</source>
        <translation>
            <numerusform>Add the rules of “%1” to the %n current rule, or replace it? Adding skips rules that are already in the list.</numerusform>
            <numerusform>Add the rules of “%1” to the %n current rules, or replace them? Adding skips rules that are already in the list.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Learned from %n filed document(s): where no rule matches, they suggest a category.</source>
        <translation>
            <numerusform>Learned from %n filed document: where no rule matches, it suggests a category.</numerusform>
            <numerusform>Learned from %n filed documents: where no rule matches, they suggest a category.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>AddRuleDialog</name>
    <message numerus="yes">
        <source>Matches %n document(s).</source>
        <translation>
            <numerusform>Matches %n document.</numerusform>
            <numerusform>Matches %n documents.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n suggestion(s) would change:</source>
        <translation>
            <numerusform>%n suggestion would change:</numerusform>
            <numerusform>%n suggestions would change:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ReadinessCard</name>
    <message numerus="yes">
        <source>%n rule(s) not met</source>
        <translation>
            <numerusform>%n rule not met</numerusform>
            <numerusform>%n rules not met</numerusform>
        </translation>
    </message>
</context>
</TS>
