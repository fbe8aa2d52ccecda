<%
' A sum of 200,000 terms, and a chain of as many members: each is a tree as
' deep as it is long, refused before anything walks it.
Execute "x = 1" & Replace(Space(200000), " ", "+1")
%>
